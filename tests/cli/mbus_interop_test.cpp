// The mbus program against libmodbus's server, a device nobody on this team wrote (the program
// of tests/interop; its tables: unit 1, input register a = 0x1234 + 0x0203 * a).
#include "tests/cli/mbus_process.h"
#include "tests/interop/device_process.h"

#include <gtest/gtest.h>

class MbusLibmodbus : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override
    {
        const std::string problem = device.start({MBUS_LIBMODBUS_DEVICE, "--transport", GetParam(), "--seconds", "60"}, 15000);
        ASSERT_EQ(problem, "");
        url = std::string(GetParam()) + "://127.0.0.1:" + std::to_string(device.port());
    }
    DeviceProcess device;
    std::string url;
};

TEST_P(MbusLibmodbus, ReadsWritesAndReportsExceptions)
{
    MbusRun run = runMbus({"read", url, "input", "2", "--base", "0", "-c", "2", "--type", "uint16", "-f", "csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "address,raw,value\n2,163A,5690\n3,183D,6205\n");

    run = runMbus({"write", url, "holding", "10", "-7.25", "1e10", "--type", "float", "--order", "badc"});
    EXPECT_EQ(run.status, 0) << run.err;
    run = runMbus({"read", url, "holding", "10", "-c", "2", "--type", "float", "--order", "badc", "-f", "json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "[{\"address\":10,\"raw\":\"E8C0 0000\",\"value\":-7.25},"
                       "{\"address\":12,\"raw\":\"1550 F902\",\"value\":1e+10}]\n");

    // 1000 registers: the read past them, and function 43, which libmodbus does not offer.
    run = runMbus({"read", url, "holding", "1000", "-c", "2"});
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err, "mbus: Illegal Data Address exception response (result 162)\n");
    if (std::string(GetParam()) == "tcp") {
        run = runMbus({"info", url});
        EXPECT_EQ(run.status, 4);
        EXPECT_EQ(run.err, "mbus: Illegal Function exception response (result 161)\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, MbusLibmodbus, ::testing::Values("tcp", "rtu-over-tcp"),
                         [](const auto &test) { return std::string(test.param) == "tcp" ? "Tcp" : "RtuOverTcp"; });
