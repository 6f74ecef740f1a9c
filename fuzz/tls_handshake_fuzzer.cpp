// The TLS master's connect and handshake, with the device's bytes from the input: the master
// opens over the in-memory network (its OpenSSL backend reads and writes through the socket
// layer), reads once when the handshake completed, and may open a second time.
//
// Input: byte 0 the master's settings, byte 1 the connection, then the device's bytes.
//   byte 0  bit 0 client certificate; bit 1 TLS 1.3 at least; bits 2-3 expected name: the
//           address connected to, device.test, other.test (a mismatch), verification off;
//           bit 4 the rogue CA trusted instead; bit 5 close and open once more;
//           bits 6-7 the device's bytes handed over whole, one, five or 64 at a time
//   byte 1  bits 0-2 the first connect (0 at once, 1 after a wait, 2 times out, 3 refused after
//           the wait, 4 refused at once, more: at once); bits 3-4 once the bytes are read:
//           silence, close, reset
//   then flights: a big-endian length and that many bytes, one released when the master
//   connects and one after each of its sends
//
// MBUS_FUZZ_TLS_SEEDS=folder writes seeds there and exits: handshakes with a live in-process
// device, recorded, which the master replays byte for byte (randomness is repeatable), and a
// few bare records.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fake_network.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/tls_device.h"
#include "ip/socket_layer.h"
#include "ip/tls_master_protocol.h"

using namespace mbus;

namespace {

// The device as the input scripts it: one flight of bytes when the master connects and one
// after each of its sends, as a device answers; the master reads a flight only once it is out.
class ScriptedDevice : public StreamPeer {
public:
    ScriptedDevice(const std::uint8_t *data, std::size_t size, std::size_t chunk, int end, int firstConnect)
        : input_(data, size), chunk_(chunk), end_(end), connect_(firstConnect)
    {}

    int connect() override
    {
        int outcome = connect_;
        connect_ = 0;
        if (outcome < 3)
            release();
        return outcome;
    }
    long fromMaster(const std::uint8_t *, std::size_t count) override
    {
        if (over() && end_ == 2) {
            errno = ECONNRESET;
            return net::kFailed;
        }
        release();
        return static_cast<long>(count);
    }
    long toMaster(std::uint8_t *buffer, std::size_t capacity) override
    {
        if (pos_ < unread_.size()) {
            std::size_t n = unread_.size() - pos_;
            n = n < capacity ? n : capacity;
            n = chunk_ > 0 && n > chunk_ ? chunk_ : n;
            std::memcpy(buffer, unread_.data() + pos_, n);
            pos_ += n;
            return static_cast<long>(n);
        }
        if (!over() || end_ == 0)
            return net::kWouldBlock;
        if (end_ == 1)
            return 0;
        errno = ECONNRESET;
        return net::kFailed;
    }
    bool readable() override { return pos_ < unread_.size() || (over() && end_ != 0); }
    bool writable() override { return true; }
    void closed() override {}

private:
    // Flight layout: a big-endian length, that many bytes.
    void release()
    {
        std::size_t length = input_.u16(0);
        std::size_t at = unread_.size();
        unread_.resize(at + (length < input_.remaining() ? length : input_.remaining()));
        input_.take(unread_.data() + at, unread_.size() - at);
    }
    bool over() const { return input_.exhausted() && pos_ >= unread_.size(); }

    FuzzInput input_;
    std::size_t chunk_;
    int end_;
    int connect_;
    std::vector<std::uint8_t> unread_;
    std::size_t pos_ = 0;
};

// A live device whose every byte is recorded, flight by flight as the scripted device plays
// them back (seed making).
class RecordedDevice : public StreamPeer {
public:
    explicit RecordedDevice(const TlsDevice::Options &options) : device_(options) {}

    int connect() override
    {
        device_.accept();
        record();
        return 0;
    }
    long fromMaster(const std::uint8_t *data, std::size_t count) override
    {
        device_.feed(data, count);
        std::vector<std::uint8_t> &plain = device_.plaintext();
        // A read request (MBAP header, function 3, reference, count): registers 1, 2, ...
        if (plain.size() >= 12 && plain[7] == 3) {
            std::vector<std::uint8_t> reply(plain.begin(), plain.begin() + 8);
            const int registers = plain[10] << 8 | plain[11];
            reply.push_back(static_cast<std::uint8_t>(2 * registers));
            for (int i = 1; i <= registers; ++i) {
                reply.push_back(0);
                reply.push_back(static_cast<std::uint8_t>(i));
            }
            reply[4] = 0;
            reply[5] = static_cast<std::uint8_t>(reply.size() - 6);
            device_.write(reply.data(), reply.size());
            plain.clear();
        }
        record();
        return static_cast<long>(count);
    }
    long toMaster(std::uint8_t *buffer, std::size_t capacity) override
    {
        if (pos_ >= unread_.size())
            return device_.ended() ? 0 : net::kWouldBlock;
        std::size_t n = unread_.size() - pos_;
        n = n < capacity ? n : capacity;
        std::memcpy(buffer, unread_.data() + pos_, n);
        pos_ += n;
        return static_cast<long>(n);
    }
    bool readable() override { return pos_ < unread_.size() || device_.ended(); }
    bool writable() override { return true; }
    void closed() override {}

    const std::vector<std::uint8_t> &flights() const { return flights_; }

private:
    void record()
    {
        std::vector<std::uint8_t> output = device_.takeOutput();
        unread_.insert(unread_.end(), output.begin(), output.end());
        flights_.push_back(static_cast<std::uint8_t>(output.size() >> 8));
        flights_.push_back(static_cast<std::uint8_t>(output.size() & 0xFF));
        flights_.insert(flights_.end(), output.begin(), output.end());
    }

    TlsDevice device_;
    std::vector<std::uint8_t> unread_;
    std::size_t pos_ = 0;
    std::vector<std::uint8_t> flights_;
};

bool openCode(int result)
{
    switch (result) {
    case MBUS_SUCCESS:
    case MBUS_TCP_CONNECTION_ERROR:
    case MBUS_IO_ERROR:
    case MBUS_OPEN_ERROR:
        return true;
    default:
        return result >= MBUS_TLS_HANDSHAKE_FAILED && result <= MBUS_TLS_VERSION_REFUSED;
    }
}

bool readCode(int result)
{
    switch (result) {
    case MBUS_SUCCESS:
    case MBUS_ILLEGAL_STATE:
    case MBUS_CONNECTION_CLOSED:
    case MBUS_INVALID_FRAME_ERROR:
    case MBUS_INVALID_REPLY_ERROR:
    case MBUS_INVALID_MBAP_ID:
    case MBUS_REPLY_TIMEOUT:
    case MBUS_SEND_TIMEOUT:
        return true;
    default:
        return openCode(result) || (result >= MBUS_EXCEPTION_RESPONSE && result <= MBUS_EXCEPTION_RESPONSE + 255);
    }
}

bool finalCode(int result)
{
    return result >= MBUS_TLS_SERVER_NOT_TRUSTED && result <= MBUS_TLS_VERSION_REFUSED;
}

void configure(MbusTlsMasterProtocol &master, std::uint8_t settings)
{
    const TlsFiles &files = tlsFiles();
    fuzzRequire(master.setCaFile((settings & 0x10) ? files.rogueCaFile.c_str() : files.caFile.c_str()) == MBUS_SUCCESS,
                "CA file accepted while closed");
    if (settings & 0x01)
        fuzzRequire(master.setClientCertificate(files.clientCert.c_str(), files.clientKey.c_str(), nullptr) ==
                        MBUS_SUCCESS,
                    "client certificate accepted while closed");
    if (settings & 0x02)
        fuzzRequire(master.setMinTlsVersion(MBUS_TLS_VERSION_1_3) == MBUS_SUCCESS, "version accepted while closed");
    switch ((settings >> 2) & 3) {
    case 1:
        master.setServerName("device.test");
        break;
    case 2:
        master.setServerName("other.test");
        break;
    case 3:
        master.setVerifyServer(false);
        break;
    default:
        break;
    }
    // Waits end at once on the in-memory network; a long time-out keeps the wall clock out of it.
    master.setTimeout(10000);
    master.setRetryCnt(0);
}

// MBUS_FUZZ_TRACE=1 shows each open and read with its result.
void trace(const char *what, int result)
{
    static const bool on = std::getenv("MBUS_FUZZ_TRACE") != nullptr;
    if (on)
        std::fprintf(stderr, "%s -> result %d\n", what, result);
}

int openOnce(MbusTlsMasterProtocol &master)
{
    int opened = master.openConnection("127.0.0.1");
    trace("open", opened);
    fuzzRequire(openCode(opened), "open gives a documented code");
    fuzzRequire((opened == MBUS_SUCCESS) == (master.isOpen() != 0), "open exactly when opening succeeded");
    if (opened != MBUS_SUCCESS) {
        fuzzRequire(FakeNetwork::openSockets() == 0, "nothing left open after a failed open");
        return opened;
    }
    short registers[2] = {};
    int read = master.readMultipleRegisters(1, 1, registers, 2);
    trace("read", read);
    fuzzRequire(readCode(read), "a read gives a documented code");
    if (finalCode(read))
        fuzzRequire(!master.isOpen() && FakeNetwork::openSockets() == 0, "closed after a final refusal");
    if (read == MBUS_SUCCESS)
        fuzzRequire(master.getSuccessCounter() >= 1, "a successful read is counted");
    else
        fuzzRequire(registers[0] == 0 && registers[1] == 0, "a failed read leaves zeros");
    return read;
}

// One run: the same for the input's device and for a recorded live one.
void run(std::uint8_t settings, StreamPeer &device)
{
    restartTlsRandomness();
    FakeNetwork::attach(nullptr, &device);
    {
        MbusTlsMasterProtocol master;
        configure(master, settings);
        openOnce(master);
        if (settings & 0x20) {
            master.closeConnection();
            fuzzRequire(!master.isOpen() && FakeNetwork::openSockets() == 0, "closed after closeConnection");
            openOnce(master);
        }
    }
    FakeNetwork::detach();
}

void writeSeed(const std::string &folder, const char *name, const std::vector<std::uint8_t> &bytes)
{
    std::string path = folder + "/" + name;
    FILE *file = std::fopen(path.c_str(), "wb");
    fuzzRequire(file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "seed written");
    std::fclose(file);
}

void recordSeed(const std::string &folder, const char *name, std::uint8_t settings, const TlsDevice::Options &options)
{
    RecordedDevice device(options);
    run(settings, device);
    std::vector<std::uint8_t> seed{settings, 0x08}; // the device closes once its bytes are read
    seed.insert(seed.end(), device.flights().begin(), device.flights().end());
    writeSeed(folder, name, seed);
}

void writeSeeds(const std::string &folder)
{
    TlsDevice::Options tls13{true, false, false};
    TlsDevice::Options tls12{false, false, false};
    TlsDevice::Options tls12Resumed{false, false, true};
    TlsDevice::Options tls13Required{true, true, false};
    TlsDevice::Options tls12Required{false, true, false};
    recordSeed(folder, "live-tls13-client-cert", 0x01, tls13);
    recordSeed(folder, "live-tls13-dns-name-by-bytes", 0x45, tls13);
    recordSeed(folder, "live-tls12-client-cert", 0x01, tls12);
    recordSeed(folder, "live-tls12-resumed", 0x20, tls12Resumed);
    recordSeed(folder, "live-tls13-cert-required", 0x00, tls13Required);
    recordSeed(folder, "live-tls12-cert-required", 0x00, tls12Required);
    recordSeed(folder, "live-tls13-name-mismatch", 0x09, tls13);
    recordSeed(folder, "live-tls12-rogue-ca", 0x11, tls12);
    recordSeed(folder, "live-tls12-only-device", 0x02, tls12);
    // Bare records: alerts (handshake failure, protocol version), a length beyond the limit,
    // and plain text where a record belongs.
    writeSeed(folder, "record-alert-handshake-failure",
              {0x00, 0x08, 0, 0, 0, 7, 0x15, 0x03, 0x03, 0x00, 0x02, 0x02, 0x28});
    writeSeed(folder, "record-alert-protocol-version",
              {0x00, 0x08, 0, 0, 0, 7, 0x15, 0x03, 0x01, 0x00, 0x02, 0x02, 0x46});
    writeSeed(folder, "record-too-long", {0x00, 0x00, 0, 0, 0, 8, 0x16, 0x03, 0x03, 0x48, 0x01, 0x02, 0x00, 0x00});
    writeSeed(folder, "record-not-tls",
              {0x00, 0x10, 0, 12, 'H', 'T', 'T', 'P', '/', '1', '.', '1', ' ', '4', '0', '0'});
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tlsFiles();
    if (const char *folder = std::getenv("MBUS_FUZZ_TLS_SEEDS")) {
        writeSeeds(folder);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    static const std::size_t kChunks[] = {0, 1, 5, 64};
    const int connect = data[1] & 0x07;
    ScriptedDevice device(data + 2, size - 2, kChunks[data[0] >> 6], ((data[1] >> 3) & 3) % 3,
                          connect <= 4 ? connect : 0);
    run(data[0], device);
    return 0;
}
