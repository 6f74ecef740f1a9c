// The Modbus/TCP master over TLS against the simulator serving TLS in process: what each role
// may do, the refusal of a master without a certificate, faults inside the session, and no
// descriptor left behind by many handshakes, good and broken.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "mbus.h"
#include "tests/support/descriptor_count.h"
#include "sim/tls_device.h"

namespace {

using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
// A handshake costs about twice as much under the sanitizers (10,000 cycles: about 50 s in a
// normal build, 90 s under ASan on a loaded two-core machine).
constexpr int kHandshakeCycles = 3000;
#else
constexpr int kHandshakeCycles = 10000;
#endif

class TlsSimulatorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char folderTemplate[] = "/tmp/mbus-tlssim-XXXXXX";
        ASSERT_NE(mkdtemp(folderTemplate), nullptr);
        folder = folderTemplate;
        ASSERT_EQ(std::system((std::string(MBUS_TLS_MAKE_CERTIFICATES) + " " + folder).c_str()), 0);
    }

    static void TearDownTestSuite() { std::system(("rm -rf " + folder).c_str()); }

    void SetUp() override
    {
        settings.certificateFile = file("device.pem");
        settings.keyFile = file("device.key");
        settings.caFile = file("ca.pem");
        settings.readOnlyRoles = {"viewer"};
    }

    void TearDown() override
    {
        for (MbusHandle m : masters)
            mbusDestroy(m);
        device.stop();
    }

    static std::string file(const std::string &name) { return folder + "/" + name; }

    // (Re)starts the device with `settings`; the masters are closed.
    void startDevice()
    {
        for (MbusHandle m : masters)
            mbusCloseConnection(m);
        device.stop();
        device.setFileRecord(1, 0, 0);
        std::string error;
        ASSERT_TRUE(device.configure(settings, error)) << error;
        port = device.start();
        ASSERT_GT(port, 0);
        for (MbusHandle m : masters)
            mbusSetPort(m, static_cast<unsigned short>(port));
    }

    // A master with zero-based references that shows `name`.pem, or no certificate.
    MbusHandle newMaster(const char *name)
    {
        MbusHandle m = mbusNewTlsMaster();
        masters.push_back(m);
        mbusSetTimeout(m, 2000);
        mbusSetRetryCnt(m, 0);
        mbusConfigureZeroBasedAddressing(m);
        mbusSetPort(m, static_cast<unsigned short>(port));
        EXPECT_EQ(mbusTlsSetCaFile(m, file("ca.pem").c_str()), MBUS_SUCCESS);
        if (name != nullptr) {
            EXPECT_EQ(mbusTlsSetClientCertificate(m, file(std::string(name) + ".pem").c_str(),
                                                  file(std::string(name) + ".key").c_str(), nullptr),
                      MBUS_SUCCESS);
        }
        return m;
    }

    // Every kind of write the device serves gives `expected`.
    static void expectWrites(MbusHandle m, int expected)
    {
        short values[2] = {21, 22};
        short readBack[1] = {};
        MbusFileSubRequest record{1, 5, 1};
        EXPECT_EQ(mbusWriteSingleRegister(m, 1, 10, 11), expected);
        EXPECT_EQ(mbusWriteMultipleRegisters(m, 1, 11, values, 2), expected);
        EXPECT_EQ(mbusWriteCoil(m, 1, 3, 1), expected);
        EXPECT_EQ(mbusMaskWriteRegister(m, 1, 13, 0, 0x00F0), expected);
        EXPECT_EQ(mbusReadWriteRegisters(m, 1, 0, readBack, 1, 14, values, 1), expected);
        EXPECT_EQ(mbusWriteFileRecords(m, 1, &record, 1, values, 1), expected);
    }

    static std::string folder;
    sim::TlsSettings settings;
    sim::TlsDevice device;
    int port = 0;
    std::vector<MbusHandle> masters;
};

std::string TlsSimulatorTest::folder;

constexpr int kIllegalFunction = MBUS_EXCEPTION_RESPONSE + 1;

TEST_F(TlsSimulatorTest, ARoleThatMayOnlyReadGetsIllegalFunctionOnWrites)
{
    startDevice();
    MbusHandle viewer = newMaster("viewer");
    MbusHandle roleless = newMaster("roleless");
    for (MbusHandle m : {viewer, roleless}) {
        ASSERT_EQ(mbusOpenConnection(m, "127.0.0.1"), MBUS_SUCCESS);
        short value[1] = {};
        device.setInputRegister(4, 0x4321);
        ASSERT_EQ(mbusReadInputRegisters(m, 1, 4, value, 1), MBUS_SUCCESS);
        EXPECT_EQ(value[0], 0x4321);
        expectWrites(m, kIllegalFunction);
        EXPECT_EQ(mbusIsOpen(m), 1);
    }
    for (unsigned a = 10; a <= 14; ++a)
        EXPECT_EQ(device.holdingRegister(static_cast<std::uint16_t>(a)), 0u) << a;
    EXPECT_FALSE(device.coil(3));
    EXPECT_EQ(device.fileRecord(1, 5), 0u);

    // The operator writes all of them.
    MbusHandle op = newMaster("master");
    ASSERT_EQ(mbusOpenConnection(op, "127.0.0.1"), MBUS_SUCCESS);
    expectWrites(op, MBUS_SUCCESS);
    EXPECT_EQ(device.holdingRegister(10), 11u);
    EXPECT_EQ(device.holdingRegister(12), 22u);
    EXPECT_EQ(device.holdingRegister(13), 0xF0u);
    EXPECT_EQ(device.holdingRegister(14), 21u);
    EXPECT_TRUE(device.coil(3));
    EXPECT_EQ(device.fileRecord(1, 5), 21u);

    // With roleless masters allowed to write, only the named role is held back.
    settings.rolelessReadOnly = false;
    startDevice();
    ASSERT_EQ(mbusOpenConnection(roleless, "127.0.0.1"), MBUS_SUCCESS);
    EXPECT_EQ(mbusWriteSingleRegister(roleless, 1, 20, 7), MBUS_SUCCESS);
    ASSERT_EQ(mbusOpenConnection(viewer, "127.0.0.1"), MBUS_SUCCESS);
    EXPECT_EQ(mbusWriteSingleRegister(viewer, 1, 21, 7), kIllegalFunction);
    EXPECT_EQ(device.holdingRegister(20), 7u);
    EXPECT_EQ(device.holdingRegister(21), 0u);
}

TEST_F(TlsSimulatorTest, AMasterWithoutCertificateIsRefusedUnlessCertificatesAreOptional)
{
    startDevice();
    MbusHandle anonymous = newMaster(nullptr);
    short value[1];
    // TLS 1.3: the refusal arrives after the handshake, on the first read.
    ASSERT_EQ(mbusOpenConnection(anonymous, "127.0.0.1"), MBUS_SUCCESS);
    EXPECT_EQ(mbusReadMultipleRegisters(anonymous, 1, 0, value, 1), MBUS_TLS_CLIENT_CERT_REFUSED);
    MbusHandle rogue = newMaster("rogue-master");
    ASSERT_EQ(mbusOpenConnection(rogue, "127.0.0.1"), MBUS_SUCCESS);
    EXPECT_EQ(mbusReadMultipleRegisters(rogue, 1, 0, value, 1), MBUS_TLS_CLIENT_CERT_REFUSED);

    // Capped at TLS 1.2, the device refuses in the handshake; TLS 1.3 is refused as a version.
    settings.tls12Only = true;
    startDevice();
    EXPECT_EQ(mbusOpenConnection(anonymous, "127.0.0.1"), MBUS_TLS_CLIENT_CERT_REFUSED);
    MbusHandle op = newMaster("master");
    ASSERT_EQ(mbusTlsSetMinVersion(op, MBUS_TLS_VERSION_1_3), MBUS_SUCCESS);
    EXPECT_EQ(mbusOpenConnection(op, "127.0.0.1"), MBUS_TLS_VERSION_REFUSED);
    mbusCloseConnection(op);
    ASSERT_EQ(mbusTlsSetMinVersion(op, MBUS_TLS_VERSION_1_2), MBUS_SUCCESS);
    ASSERT_EQ(mbusOpenConnection(op, "127.0.0.1"), MBUS_SUCCESS);
    EXPECT_EQ(mbusWriteSingleRegister(op, 1, 0, 5), MBUS_SUCCESS);

    // Optional: served without a role, so reading only; a certificate shown is still checked.
    settings.requireClientCertificate = false;
    settings.tls12Only = false;
    startDevice();
    ASSERT_EQ(mbusOpenConnection(anonymous, "127.0.0.1"), MBUS_SUCCESS);
    ASSERT_EQ(mbusReadMultipleRegisters(anonymous, 1, 0, value, 1), MBUS_SUCCESS);
    EXPECT_EQ(value[0], 5);
    EXPECT_EQ(mbusWriteSingleRegister(anonymous, 1, 0, 6), kIllegalFunction);
    ASSERT_EQ(mbusOpenConnection(rogue, "127.0.0.1"), MBUS_SUCCESS);
    EXPECT_EQ(mbusReadMultipleRegisters(rogue, 1, 0, value, 1), MBUS_TLS_CLIENT_CERT_REFUSED);
}

TEST_F(TlsSimulatorTest, FaultsActInsideTheSession)
{
    startDevice();
    MbusHandle op = newMaster("master");
    mbusSetTimeout(op, 300);
    ASSERT_EQ(mbusOpenConnection(op, "127.0.0.1"), MBUS_SUCCESS);
    short value[1];
    device.pushFault({sim::FaultKind::Exception, 4});
    EXPECT_EQ(mbusReadMultipleRegisters(op, 1, 0, value, 1), MBUS_EXCEPTION_RESPONSE + 4);
    device.pushFault({sim::FaultKind::Delay, 1000});
    EXPECT_EQ(mbusReadMultipleRegisters(op, 1, 0, value, 1), MBUS_REPLY_TIMEOUT);
    mbusCloseConnection(op);
    ASSERT_EQ(mbusOpenConnection(op, "127.0.0.1"), MBUS_SUCCESS);
    device.pushFault({sim::FaultKind::Close, 0});
    EXPECT_EQ(mbusReadMultipleRegisters(op, 1, 0, value, 1), MBUS_CONNECTION_CLOSED);
    mbusCloseConnection(op);
    ASSERT_EQ(mbusOpenConnection(op, "127.0.0.1"), MBUS_SUCCESS);
    device.pushFault({sim::FaultKind::SplitReply, 20});
    device.setHoldingRegister(0, 0x0102);
    ASSERT_EQ(mbusReadMultipleRegisters(op, 1, 0, value, 1), MBUS_SUCCESS);
    EXPECT_EQ(value[0], 0x0102);
}

// Connect and handshake, then close, many times; among them connections that break the
// handshake off (junk instead of a hello, or nothing at all). Neither side keeps a descriptor.
TEST_F(TlsSimulatorTest, HandshakesLeakNoDescriptors)
{
    startDevice();
    MbusHandle op = newMaster("master");
    ASSERT_EQ(mbusOpenConnection(op, "127.0.0.1"), MBUS_SUCCESS); // the context, made once
    mbusCloseConnection(op);
    auto settled = [&] {
        Clock::time_point end = Clock::now() + std::chrono::seconds(10);
        while (device.openConnections() != 0 && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return openDescriptorCount();
    };
    const int before = settled();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const Clock::time_point start = Clock::now();
    for (int cycle = 0; cycle < kHandshakeCycles; ++cycle) {
        ASSERT_EQ(mbusOpenConnection(op, "127.0.0.1"), MBUS_SUCCESS) << "cycle " << cycle;
        mbusCloseConnection(op);
        if (cycle % 100 == 0) {
            int raw = socket(AF_INET, SOCK_STREAM, 0);
            ASSERT_EQ(connect(raw, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            if (cycle % 200 == 0)
                (void)!send(raw, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
            close(raw);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%d handshake cycles in %.1f s\n", kHandshakeCycles, seconds);
    EXPECT_EQ(settled(), before);
    EXPECT_EQ(device.openConnections(), 0);
    EXPECT_EQ(device.connectionCount(), 1 + kHandshakeCycles + kHandshakeCycles / 100);
}

} // namespace
