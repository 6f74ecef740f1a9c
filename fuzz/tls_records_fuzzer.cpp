// The TLS master's record reader: a real handshake with an in-process OpenSSL device
// (fuzz/tls_device.h) over the in-memory network, then the data-access operations of the other
// targets (fuzz/operation_driver.h), whose replies the device encrypts as the input says.
//
// Input: a settings byte, then as the mbap_tcp target (fuzz/session.cpp, fuzz/reply_script.h),
// with two more bytes behind each exchange's reply for what becomes of its records:
//   settings  bit 0 the device offers TLS 1.3 (else 1.2 only); bit 1 the master has a client
//             certificate; bit 2 the device requires one; bit 3 the device keeps sessions
//             (resumption on reconnect); bit 4 the master wants TLS 1.3 at least
//   records   bits 0-2: 0 one record; 1 two records, split at the argument; 2 one bit of the
//             records flipped (bit: argument, byte: the next two input bytes); 3 cut to the
//             argument's length; 4 a close_notify behind the reply; 5 a KeyUpdate (TLS 1.3) or
//             a renegotiation request (TLS 1.2) ahead of it; 6 an unencrypted alert ahead of it
//             (level and description from the argument); 7 a record header claiming more than
//             a record may hold ahead of it
//   (read when the exchange is taken, at the first send of the request's record)
//   The exchange's flags still choose the send's outcome, how the bytes are handed over and what
//   the device does after them (closes, resets).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz/fake_network.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/operation_driver.h"
#include "fuzz/pending_reply.h"
#include "fuzz/reply_script.h"
#include "fuzz/tls_device.h"
#include "ip/socket_layer.h"
#include "ip/tls_master_protocol.h"

using namespace mbus;

namespace {

constexpr int kMaxOperations = 4;

class DevicePeer : public StreamPeer {
public:
    DevicePeer(FuzzInput &input, ReplyScript &script, const TlsDevice::Options &options)
        : input_(input), script_(script), device_(options)
    {}

    int connect() override
    {
        int outcome = script_.connectOutcome();
        pending_.clear();
        held_ = false;
        retry_ = false;
        writeBlocked_ = false;
        refused_.clear();
        if (outcome < 3)
            device_.accept();
        return outcome;
    }

    long fromMaster(const std::uint8_t *data, std::size_t count) override
    {
        if (pending_.ended()) {
            errno = EPIPE;
            return net::kFailed;
        }
        // A record the link gave up sending (a send time-out) must not go out later: the master
        // reported that request as failed and has moved on.
        if (!refused_.empty() && count >= refused_.size())
            fuzzRequire(!std::equal(refused_.begin(), refused_.end(), data), "a send that timed out is not sent later");
        // Once the handshake is done, each request takes one exchange; its send outcome applies
        // to the first send of the record that carries it. Application data of at least 24 bytes
        // holds a request: an alert (close_notify) or a KeyUpdate answer is shorter, and TLS 1.2
        // shows their record type.
        const bool carriesRequest = count >= 5 && data[0] == 0x17 && (data[3] << 8 | data[4]) >= 24;
        if (device_.established() && !held_ && carriesRequest)
            take();
        if (held_ && !sendDecided_) {
            switch (exchange_.send) {
            case SendOutcome::Sent:
                sendDecided_ = true;
                break;
            case SendOutcome::Partial:
                if (!retry_) {
                    retry_ = true;
                    return net::kWouldBlock;
                }
                retry_ = false;
                sendDecided_ = true;
                if (count > 1)
                    --count;
                break;
            case SendOutcome::TimedOut:
                sendDecided_ = true;
                writeBlocked_ = true;
                refused_.assign(data, data + count);
                return net::kWouldBlock;
            case SendOutcome::Failed:
                sendDecided_ = true;
                errno = ECONNRESET;
                return net::kFailed;
            }
        }
        device_.feed(data, count);
        std::vector<std::uint8_t> &plain = device_.plaintext();
        const std::size_t frame = plain.size() >= 6 ? 6 + (static_cast<std::size_t>(plain[4]) << 8 | plain[5]) : 0;
        if (frame > 0 && plain.size() >= frame) {
            if (!held_)
                take();
            std::vector<std::uint8_t> request(plain.begin(), plain.begin() + static_cast<long>(frame));
            plain.erase(plain.begin(), plain.begin() + static_cast<long>(frame));
            answer(request);
        } else {
            deliver(device_.takeOutput(), 0, pending_.end());
        }
        return static_cast<long>(count);
    }

    long toMaster(std::uint8_t *buffer, std::size_t capacity) override
    {
        long got = pending_.readStream(buffer, capacity);
        if (got == PendingReply::kNothing)
            return net::kWouldBlock;
        if (got == PendingReply::kFailure) {
            errno = ECONNRESET;
            return net::kFailed;
        }
        return got;
    }

    bool readable() override { return pending_.readable(); }

    bool writable() override
    {
        bool blocked = writeBlocked_;
        writeBlocked_ = false;
        return !blocked;
    }

    void closed() override {}

private:
    void take()
    {
        exchange_ = script_.next();
        mode_ = input_.byte();
        argument_ = input_.byte();
        flipAt_ = (mode_ & 7) == 2 ? input_.u16() : 0;
        held_ = true;
        sendDecided_ = false;
    }

    void answer(const std::vector<std::uint8_t> &request)
    {
        script_.shape(exchange_, request.data(), request.size());
        held_ = false;
        // Older bytes still wait ahead of this reply: the master reads those first.
        if (pending_.available() > 0)
            script_.forgetWrappedPdu();
        const int mode = mode_;
        const std::uint8_t argument = argument_;
        const std::vector<std::uint8_t> &reply = exchange_.reply;
        std::vector<std::uint8_t> records = device_.takeOutput();
        if ((mode & 7) == 5)
            device_.rekey();
        if ((mode & 7) == 1 && reply.size() > 1) {
            std::size_t split = 1 + argument % (reply.size() - 1);
            device_.write(reply.data(), split);
            device_.write(reply.data() + split, reply.size() - split);
        } else {
            device_.write(reply.data(), reply.size());
        }
        if ((mode & 7) == 4)
            device_.closeNotify();
        std::vector<std::uint8_t> out = device_.takeOutput();
        switch (mode & 7) {
        case 2:
            if (!out.empty())
                out[flipAt_ % out.size()] ^= static_cast<std::uint8_t>(1u << (argument & 7));
            break;
        case 3:
            out.resize(argument % (out.size() + 1));
            break;
        case 6:
            out.insert(out.begin(), {0x15, 0x03, 0x03, 0x00, 0x02, static_cast<std::uint8_t>(1 + (argument >> 7)),
                                     static_cast<std::uint8_t>(argument & 0x7F)});
            break;
        case 7:
            out.insert(out.begin(), {0x17, 0x03, 0x03, static_cast<std::uint8_t>(0x40 | (argument & 0x3F)), 0x01});
            break;
        default:
            break;
        }
        records.insert(records.end(), out.begin(), out.end());
        deliver(std::move(records), exchange_.chunk, exchange_.end);
    }

    void deliver(std::vector<std::uint8_t> bytes, int chunk, ReplyEnd end)
    {
        if (bytes.empty() && end == pending_.end())
            return;
        Exchange delivery;
        delivery.reply = std::move(bytes);
        delivery.chunk = chunk;
        delivery.end = end;
        pending_.load(delivery);
    }

    FuzzInput &input_;
    ReplyScript &script_;
    TlsDevice device_;
    PendingReply pending_;
    Exchange exchange_;
    std::uint8_t mode_ = 0;
    std::uint8_t argument_ = 0;
    std::uint16_t flipAt_ = 0;
    bool held_ = false;
    bool sendDecided_ = false;
    bool retry_ = false;
    bool writeBlocked_ = false;
    std::vector<std::uint8_t> refused_;
};

bool finalCode(int result)
{
    return result >= MBUS_TLS_SERVER_NOT_TRUSTED && result <= MBUS_TLS_VERSION_REFUSED;
}

void checkConsistent(MbusTlsMasterProtocol &master, int result)
{
    fuzzRequire(FakeNetwork::openSockets() == (master.isOpen() ? 1 : 0), "open exactly while its socket is");
    if (finalCode(result))
        fuzzRequire(!master.isOpen(), "closed after a final refusal");
}

int open(MbusTlsMasterProtocol &master)
{
    int opened = master.openConnection("127.0.0.1");
    fuzzRequire(opened == MBUS_SUCCESS || opened == MBUS_TCP_CONNECTION_ERROR || opened == MBUS_IO_ERROR ||
                    opened == MBUS_OPEN_ERROR ||
                    (opened >= MBUS_TLS_HANDSHAKE_FAILED && opened <= MBUS_TLS_VERSION_REFUSED),
                "open gives a documented code");
    fuzzRequire((opened == MBUS_SUCCESS) == (master.isOpen() != 0), "open exactly when opening succeeded");
    checkConsistent(master, opened);
    return opened;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tlsFiles();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t settings = data[0];
    FuzzInput input(data + 1, size - 1);
    ReplyScript script(input, Framing::Mbap);
    TlsDevice::Options options;
    options.tls13 = (settings & 0x01) != 0;
    options.requireClientCert = (settings & 0x04) != 0;
    options.resumption = (settings & 0x08) != 0;
    restartTlsRandomness();
    DevicePeer device(input, script, options);
    FakeNetwork::attach(&script, &device);
    {
        const TlsFiles &files = tlsFiles();
        MbusTlsMasterProtocol master;
        fuzzRequire(master.setCaFile(files.caFile.c_str()) == MBUS_SUCCESS, "CA file accepted while closed");
        if (settings & 0x02)
            master.setClientCertificate(files.clientCert.c_str(), files.clientKey.c_str(), nullptr);
        if (settings & 0x10)
            master.setMinTlsVersion(MBUS_TLS_VERSION_1_3);
        OperationDriver driver(master, input, script);
        driver.configure();
        // Waits end at once on the in-memory network; a long time-out keeps the wall clock out.
        master.setTimeout(10000);
        open(master);
        for (int i = 0; i < kMaxOperations && !input.exhausted(); ++i) {
            int result = driver.runOne();
            checkConsistent(master, result);
            if ((input.byte() & 0x0F) == 0x0F) {
                master.closeConnection();
                fuzzRequire(!master.isOpen(), "closed after closeConnection");
                if (!master.isOpen())
                    open(master);
            }
        }
    }
    FakeNetwork::detach();
    return 0;
}
