// The Modbus/TCP master over TLS against libmodbus's device behind socat: reads with mutual
// authentication, each refusal in its own code within the time-out, no descriptor leaked over
// many handshakes, no SIGPIPE when the device goes away.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "mbus.h"
#include "tests/support/descriptor_count.h"
#include "tests/interop/device_process.h"
#include "tests/tls/loopback_listener.h"

namespace {

using Clock = std::chrono::steady_clock;

class TlsMasterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folderTemplate[] = "/tmp/mbus-tls-XXXXXX";
        ASSERT_NE(mkdtemp(folderTemplate), nullptr);
        folder = folderTemplate;
        ASSERT_EQ(std::system((std::string(MBUS_TLS_MAKE_CERTIFICATES) + " " + folder).c_str()), 0);
        ASSERT_EQ(device.start({MBUS_TLS_LIBMODBUS_DEVICE, "--transport", "tcp", "--seconds", "110"}, 5000), "");
        master = mbusNewTlsMaster();
        ASSERT_NE(master, nullptr);
        mbusSetTimeout(master, 2000);
    }

    void TearDown() override
    {
        mbusDestroy(master);
        proxy.stop();
        device.stop();
        if (!folder.empty())
            std::system(("rm -rf " + folder).c_str());
    }

    std::string file(const char *name) const { return folder + "/" + name; }

    // socat in front of the device with these OPENSSL-LISTEN options (certificates by file
    // name); each connection served by a child of its own unless once.
    void startTlsDevice(const std::string &options, bool once = false)
    {
        int port = 0;
        int reserved = listenOnLoopback(&port);
        ASSERT_GE(reserved, 0);
        close(reserved);
        std::string listen = "OPENSSL-LISTEN:" + std::to_string(port) + ",reuseaddr,nodelay" +
                             (once ? "" : ",fork") + ",cafile=" + file("ca.pem") + "," + options;
        std::string command = "echo port " + std::to_string(port) + "; exec socat " + listen +
                              " TCP:127.0.0.1:" + std::to_string(device.port());
        ASSERT_EQ(proxy.start({"/bin/sh", "-c", command}, 5000), "");
        // A probe would use up a device that serves one connection: its caller waits instead.
        if (!once) {
            ASSERT_TRUE(acceptsConnections(port, 5000));
        }
        mbusSetPort(master, static_cast<unsigned short>(port));
    }

    void trustAndShow(const char *ca = "ca.pem", const char *cert = "master.pem", const char *key = "master.key")
    {
        ASSERT_EQ(mbusTlsSetCaFile(master, file(ca).c_str()), MBUS_SUCCESS);
        ASSERT_EQ(mbusTlsSetClientCertificate(master, file(cert).c_str(), file(key).c_str(), nullptr), MBUS_SUCCESS);
    }

    // Input register a of the device holds 0x1234 + 0x0203 a.
    void expectInputRegisters()
    {
        short registers[4] = {};
        ASSERT_EQ(mbusReadInputRegisters(master, 1, 1, registers, 4), MBUS_SUCCESS);
        for (int a = 0; a < 4; ++a)
            EXPECT_EQ(static_cast<unsigned short>(registers[a]), (0x1234 + 0x0203 * a) & 0xFFFF);
    }

    // The open gives `expected` within the time-out, and the master is left closed.
    void expectOpenFails(int expected, const char *host = "127.0.0.1")
    {
        Clock::time_point start = Clock::now();
        EXPECT_EQ(mbusOpenConnection(master, host), expected) << mbusGetErrorText(expected);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(4000));
        EXPECT_EQ(mbusIsOpen(master), 0);
    }

    std::string folder;
    DeviceProcess device;
    DeviceProcess proxy;
    MbusHandle master = nullptr;
};

TEST_F(TlsMasterTest, ReadsWithClientCertificates)
{
    startTlsDevice("verify=1,min-version=TLS1.2,cert=" + file("device.pem") + ",key=" + file("device.key"));
    trustAndShow();
    ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS);
    expectInputRegisters();
    short value[1] = {1234};
    ASSERT_EQ(mbusWriteSingleRegister(master, 1, 5, value[0]), MBUS_SUCCESS);

    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(mbusReadMultipleRegisters(master, 1, 5, value, 1), MBUS_SUCCESS);
    EXPECT_EQ(value[0], 1234);

    // A PKCS#12 file and a DNS name, on a new context; then a reconnect on the same one.
    mbusCloseConnection(master);
    ASSERT_EQ(mbusTlsSetClientPfx(master, file("master.pfx").c_str(), "secret"), MBUS_SUCCESS);
    ASSERT_EQ(mbusOpenConnection(master, "localhost"), MBUS_SUCCESS);
    expectInputRegisters();
    mbusCloseConnection(master);
    ASSERT_EQ(mbusOpenConnection(master, "localhost"), MBUS_SUCCESS);
    expectInputRegisters();
    EXPECT_EQ(mbusTlsSetCaFile(master, "other"), MBUS_ILLEGAL_STATE);
}

TEST_F(TlsMasterTest, RefusalsOfAMutualDeviceEndInTheirOwnCodes)
{
    startTlsDevice("verify=1,cert=" + file("device.pem") + ",key=" + file("device.key"));
    ASSERT_EQ(mbusTlsSetCaFile(master, file("ca.pem").c_str()), MBUS_SUCCESS);

    // Without a certificate of its own the master learns of the refusal on its first read
    // under TLS 1.3, and the refusal closes it: no reconnect loop.
    short registers[1];
    ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS);
    EXPECT_EQ(mbusReadInputRegisters(master, 1, 1, registers, 1), MBUS_TLS_CLIENT_CERT_REFUSED);
    EXPECT_EQ(mbusIsOpen(master), 0);
    EXPECT_EQ(mbusReadInputRegisters(master, 1, 1, registers, 1), MBUS_ILLEGAL_STATE);

    trustAndShow("ca.pem", "rogue-master.pem", "rogue-master.key");
    ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS);
    EXPECT_EQ(mbusReadInputRegisters(master, 1, 1, registers, 1), MBUS_TLS_CLIENT_CERT_REFUSED);

    trustAndShow("rogue-ca.pem");
    expectOpenFails(MBUS_TLS_SERVER_NOT_TRUSTED);

    trustAndShow();
    ASSERT_EQ(mbusTlsSetServerName(master, "device.example"), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_SERVER_NAME_MISMATCH);
    ASSERT_EQ(mbusTlsSetServerName(master, "127.0.0.2"), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_SERVER_NAME_MISMATCH);
    // Unchecked, a device under another name is accepted.
    ASSERT_EQ(mbusTlsSetVerifyServer(master, 0), MBUS_SUCCESS);
    ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS);
    expectInputRegisters();
    mbusCloseConnection(master);

    ASSERT_EQ(mbusTlsSetClientCertificate(master, file("missing.pem").c_str(), nullptr, nullptr), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_CONFIG_ERROR);
    ASSERT_EQ(mbusTlsSetClientPfx(master, file("master.pfx").c_str(), "wrong"), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_CONFIG_ERROR);
}

TEST_F(TlsMasterTest, ATls12DeviceRefusesDuringTheHandshake)
{
    startTlsDevice("verify=1,max-version=TLS1.2,cert=" + file("device.pem") + ",key=" + file("device.key"));
    ASSERT_EQ(mbusTlsSetCaFile(master, file("ca.pem").c_str()), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_CLIENT_CERT_REFUSED);
    trustAndShow();
    ASSERT_EQ(mbusTlsSetMinVersion(master, MBUS_TLS_VERSION_1_3), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_VERSION_REFUSED);
    EXPECT_EQ(mbusTlsSetMinVersion(master, 0x0302), MBUS_ILLEGAL_ARGUMENT);
    ASSERT_EQ(mbusTlsSetMinVersion(master, MBUS_TLS_VERSION_1_2), MBUS_SUCCESS);
    ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS);
    expectInputRegisters();
}

TEST_F(TlsMasterTest, ADeviceOfAnotherCaIsNotTrusted)
{
    startTlsDevice("verify=0,cert=" + file("rogue-device.pem") + ",key=" + file("rogue-device.key"));
    trustAndShow();
    expectOpenFails(MBUS_TLS_SERVER_NOT_TRUSTED);
}

TEST_F(TlsMasterTest, HandshakesLeakNoDescriptors)
{
    startTlsDevice("verify=0,cert=" + file("device.pem") + ",key=" + file("device.key"));
    ASSERT_EQ(mbusTlsSetCaFile(master, file("ca.pem").c_str()), MBUS_SUCCESS);
    ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS);
    mbusCloseConnection(master);
    int before = openDescriptorCount();
    for (int cycle = 0; cycle < 500; ++cycle) {
        ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS) << "cycle " << cycle;
        mbusCloseConnection(master);
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

// Devices that break the handshake off: one closes after the client's first flight, one never
// answers. Both end in their codes within the time-out and leave no descriptor behind.
TEST_F(TlsMasterTest, BrokenHandshakesEndInTheirCodesWithinTheTimeout)
{
    int port = 0;
    int listener = listenOnLoopback(&port);
    ASSERT_GE(listener, 0);
    std::atomic<bool> closing{true};
    int held = -1;
    std::thread closer([&] {
        for (int served = 0; served < 101; ++served) {
            int peer = accept(listener, nullptr, nullptr);
            if (peer < 0)
                break;
            if (!closing) {
                held = peer;
                break;
            }
            char hello[512];
            (void)!recv(peer, hello, sizeof hello, 0);
            close(peer);
        }
    });
    ASSERT_EQ(mbusTlsSetCaFile(master, file("ca.pem").c_str()), MBUS_SUCCESS);
    mbusSetPort(master, static_cast<unsigned short>(port));
    int before = openDescriptorCount();
    for (int cycle = 0; cycle < 100; ++cycle)
        ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_TLS_HANDSHAKE_FAILED);
    EXPECT_EQ(openDescriptorCount(), before);
    closing = false;

    // The listener's backlog takes the connection; nobody answers the hello.
    mbusSetTimeout(master, 300);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_TLS_HANDSHAKE_TIMEOUT);
    Clock::duration took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_EQ(mbusIsOpen(master), 0);
    shutdown(listener, SHUT_RDWR);
    closer.join();
    if (held >= 0)
        close(held);
    close(listener);
}

TEST_F(TlsMasterTest, ADeviceThatGoesAwayRaisesNoSigpipe)
{
    signal(SIGPIPE, SIG_DFL);
    startTlsDevice("verify=0,cert=" + file("device.pem") + ",key=" + file("device.key"), true);
    ASSERT_EQ(mbusTlsSetCaFile(master, file("ca.pem").c_str()), MBUS_SUCCESS);
    int opened = MBUS_TCP_CONNECTION_ERROR;
    for (int attempt = 0; attempt < 100 && opened == MBUS_TCP_CONNECTION_ERROR; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        opened = mbusOpenConnection(master, "127.0.0.1");
    }
    ASSERT_EQ(opened, MBUS_SUCCESS);
    expectInputRegisters();
    proxy.stop();
    short registers[1];
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(mbusReadInputRegisters(master, 1, 1, registers, 1), MBUS_CONNECTION_CLOSED);
}

} // namespace
