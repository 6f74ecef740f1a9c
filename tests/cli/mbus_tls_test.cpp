// mbus over tls:// against libmodbus's server behind socat (client certificates required), with
// certificates made at test time by the TLS tests' script.
#include "tests/cli/mbus_process.h"
#include "tests/interop/device_process.h"
#include "tests/tls/loopback_listener.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

class MbusTls : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folderTemplate[] = "/tmp/mbus-cli-tls-XXXXXX";
        ASSERT_NE(mkdtemp(folderTemplate), nullptr);
        folder = folderTemplate;
        ASSERT_EQ(std::system((std::string("sh ") + MBUS_TLS_MAKE_CERTIFICATES + " " + folder).c_str()), 0);
        ASSERT_EQ(device.start({MBUS_LIBMODBUS_DEVICE, "--transport", "tcp", "--seconds", "60"}, 15000), "");
        int port = 0;
        int reserved = listenOnLoopback(&port);
        ASSERT_GE(reserved, 0);
        close(reserved);
        const std::string command =
            "echo port " + std::to_string(port) + "; exec socat OPENSSL-LISTEN:" + std::to_string(port) +
            ",reuseaddr,nodelay,fork,verify=1,cafile=" + file("ca.pem") + ",cert=" + file("device.pem") +
            ",key=" + file("device.key") + " TCP:127.0.0.1:" + std::to_string(device.port());
        ASSERT_EQ(proxy.start({"/bin/sh", "-c", command}, 5000), "");
        ASSERT_TRUE(acceptsConnections(port, 5000));
        url = "tls://127.0.0.1:" + std::to_string(port);
    }

    void TearDown() override
    {
        proxy.stop();
        device.stop();
        if (!folder.empty())
            std::system(("rm -rf " + folder).c_str());
    }

    std::string file(const char *name) const { return folder + "/" + name; }

    std::string folder;
    std::string url;
    DeviceProcess device;
    DeviceProcess proxy;
};

TEST_F(MbusTls, ReadsWithAClientCertificateAndRefusesAnUntrustedDevice)
{
    // The device's input register a holds 0x1234 + 0x0203 a.
    MbusRun run = runMbus({"read", url, "--ca", file("ca.pem"), "--cert", file("master.pem"), "--key",
                           file("master.key"), "input", "1", "--count", "4", "--base", "0", "-f", "csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "address,raw,value\n1,1437,5175\n2,163A,5690\n3,183D,6205\n4,1A40,6720\n");

    run = runMbus({"read", url, "--ca", file("rogue-ca.pem"), "--cert", file("master.pem"), "--key", file("master.key"),
                   "input", "1", "--count", "4"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "mbus: cannot open " + url + ": Server certificate not trusted (result 82)\n");
}
