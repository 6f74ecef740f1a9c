// The TLS master on SChannel: libmodbus's device behind socat on the build machine, which
// scripts/windows-test starts (port in MBUS_TLS_PORT) with the certificates of
// tests/tls/make_certificates.sh (folder in MBUS_TLS_CERTS, a Windows path). The device speaks
// TLS 1.2 only and requires the master's certificate (the RSA set: Wine takes no EC client key).
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "mbus.h"

namespace {

using Clock = std::chrono::steady_clock;

bool underWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class WindowsTlsMasterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *portText = std::getenv("MBUS_TLS_PORT");
        const char *folderText = std::getenv("MBUS_TLS_CERTS");
        if (portText == nullptr || folderText == nullptr || *portText == '\0' || *folderText == '\0')
            GTEST_SKIP() << "MBUS_TLS_PORT and MBUS_TLS_CERTS are not set; scripts/windows-test starts the device";
        port = std::atoi(portText);
        ASSERT_GT(port, 0);
        folder = folderText;
        master = mbusNewTlsMaster();
        ASSERT_NE(master, nullptr);
        mbusSetPort(master, static_cast<unsigned short>(port));
        mbusSetTimeout(master, 3000);
    }

    void TearDown() override { mbusDestroy(master); }

    std::string file(const char *name) const { return folder + "\\" + name; }

    // Trusts the RSA CA and shows the RSA master certificate from its PKCS#12 file.
    void trustAndShow(const char *ca = "rsa-ca.pem")
    {
        ASSERT_EQ(mbusTlsSetCaFile(master, file(ca).c_str()), MBUS_SUCCESS);
        ASSERT_EQ(mbusTlsSetClientPfx(master, file("rsa-master.pfx").c_str(), "secret"), MBUS_SUCCESS);
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
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(6000));
        EXPECT_EQ(mbusIsOpen(master), 0);
    }

    int port = 0;
    std::string folder;
    MbusHandle master = nullptr;
};

TEST_F(WindowsTlsMasterTest, ReadsWithAnRsaPfxAndReconnects)
{
    trustAndShow();
    ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS);
    expectInputRegisters();
    ASSERT_EQ(mbusWriteSingleRegister(master, 1, 7, 4321), MBUS_SUCCESS);
    short value[1] = {};
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(mbusReadMultipleRegisters(master, 1, 7, value, 1), MBUS_SUCCESS);
    EXPECT_EQ(value[0], 4321);

    // Again on the same context (the session resumed where SChannel can), then by a DNS name on
    // a new context that trusts the certificate folder.
    mbusCloseConnection(master);
    ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS);
    expectInputRegisters();
    mbusCloseConnection(master);
    ASSERT_EQ(mbusTlsSetCaFile(master, ""), MBUS_SUCCESS);
    ASSERT_EQ(mbusTlsSetCaFolder(master, folder.c_str()), MBUS_SUCCESS);
    ASSERT_EQ(mbusOpenConnection(master, "localhost"), MBUS_SUCCESS);
    expectInputRegisters();
}

TEST_F(WindowsTlsMasterTest, RefusalsEndInTheirOwnCodes)
{
    // Chain and name are checked by the library, addresses included; without a CA file the
    // system's ROOT store does not know the device's CA.
    trustAndShow("rogue-ca.pem");
    expectOpenFails(MBUS_TLS_SERVER_NOT_TRUSTED);
    ASSERT_EQ(mbusTlsSetCaFile(master, ""), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_SERVER_NOT_TRUSTED);
    trustAndShow();
    ASSERT_EQ(mbusTlsSetServerName(master, "device.example"), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_SERVER_NAME_MISMATCH);
    ASSERT_EQ(mbusTlsSetServerName(master, "127.0.0.2"), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_SERVER_NAME_MISMATCH);
    ASSERT_EQ(mbusTlsSetVerifyServer(master, 0), MBUS_SUCCESS);
    ASSERT_EQ(mbusOpenConnection(master, "127.0.0.1"), MBUS_SUCCESS);
    expectInputRegisters();
    mbusCloseConnection(master);
    ASSERT_EQ(mbusTlsSetVerifyServer(master, 1), MBUS_SUCCESS);
    ASSERT_EQ(mbusTlsSetServerName(master, ""), MBUS_SUCCESS);

    // The device speaks TLS 1.2 only.
    ASSERT_EQ(mbusTlsSetMinVersion(master, MBUS_TLS_VERSION_1_3), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_VERSION_REFUSED);
    ASSERT_EQ(mbusTlsSetMinVersion(master, MBUS_TLS_VERSION_1_2), MBUS_SUCCESS);

    // Files that cannot be used; a PEM key is not taken on Windows.
    ASSERT_EQ(mbusTlsSetClientPfx(master, file("rsa-master.pfx").c_str(), "wrong"), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_CONFIG_ERROR);
    ASSERT_EQ(mbusTlsSetClientPfx(master, file("missing.pfx").c_str(), "secret"), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_CONFIG_ERROR);
    ASSERT_EQ(mbusTlsSetClientCertificate(master, file("rsa-master.pem").c_str(), file("rsa-master.key").c_str(),
                                          nullptr),
              MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_CONFIG_ERROR);
    ASSERT_EQ(mbusTlsSetCaFile(master, file("missing.pem").c_str()), MBUS_SUCCESS);
    expectOpenFails(MBUS_TLS_CONFIG_ERROR);

    // No certificate of its own at a device that requires one: refused during the handshake.
    // Windows tells of the device's certificate request; Wine does not, and reduces the
    // device's alert to an internal error, a handshake failure to the master.
    ASSERT_EQ(mbusTlsSetClientCertificate(master, "", nullptr, nullptr), MBUS_SUCCESS);
    ASSERT_EQ(mbusTlsSetCaFile(master, file("rsa-ca.pem").c_str()), MBUS_SUCCESS);
    expectOpenFails(underWine() ? MBUS_TLS_HANDSHAKE_FAILED : MBUS_TLS_CLIENT_CERT_REFUSED);
}

} // namespace
