// The mbus program on serial lines: the simulated device on a pseudo-terminal.
#include "sim/serial_device.h"
#include "tests/cli/mbus_process.h"

#include <gtest/gtest.h>

TEST(MbusSerial, ReadsAndWritesOverRtuAsciiAndExtendedAddresses)
{
    const std::pair<sim::SerialFraming, std::string> lines[] = {
        {sim::SerialFraming::Rtu, "rtu:"}, {sim::SerialFraming::Ascii, "ascii:"},
        {sim::SerialFraming::ExtendedRtu, "rtu-extended:"}};
    for (const auto &[framing, scheme] : lines) {
        sim::SerialDevice device;
        const std::string path = device.start(framing);
        ASSERT_FALSE(path.empty());
        const std::string url = scheme + path + "?baud=38400&timeout=500";
        const std::string unit = framing == sim::SerialFraming::ExtendedRtu ? "2000" : "17";
        device.setInputRegister(4, 0x1234);
        device.setInputRegister(5, 0xABCD);
        MbusRun run = runMbus({"read", url, "-u", unit, "input", "4", "--base", "0", "-c", "1", "--type", "uint32",
                               "--order", "cdab", "-f", "csv"});
        EXPECT_EQ(run.status, 0) << scheme << run.err;
        EXPECT_EQ(run.out, "address,raw,value\n4,1234 ABCD,2882343476\n") << scheme;
        run = runMbus({"write", url, "-u", unit, "holding", "3", "12345678", "--type", "mod10000"});
        EXPECT_EQ(run.status, 0) << scheme << run.err;
        EXPECT_EQ(device.holdingRegister(2), 1234);
        EXPECT_EQ(device.holdingRegister(3), 5678);
    }
}

TEST(MbusSerial, UnitsBeyondTheLineAreRefusedAndSilenceIsATimeOut)
{
    sim::SerialDevice device;
    const std::string path = device.start(sim::SerialFraming::Rtu);
    ASSERT_FALSE(path.empty());
    MbusRun run = runMbus({"read", "rtu:" + path, "-u", "248", "holding", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("unit 248 is beyond 247"), std::string::npos) << run.err;
    // Unit 0 is the broadcast address, which no device answers.
    run = runMbus({"read", "rtu:" + path, "-u", "0", "holding", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("unit 0"), std::string::npos) << run.err;
    device.pushFault({sim::FaultKind::Drop, 0});
    run = runMbus({"read", "rtu:" + path + "?timeout=100", "holding", "1"});
    EXPECT_EQ(run.status, 3) << run.err;
}
