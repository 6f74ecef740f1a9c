// The extended-address RTU master end to end over a pseudo terminal against a scripted device.
#include <gtest/gtest.h>

#include "pty_fixture.h"
#include "serial/elam_master_protocol.h"

using namespace mbus;

namespace {

using ElamOverPty = MasterOnPty<MbusElamMasterProtocol>;

} // namespace

TEST_F(ElamOverPty, ReadOf2500RegistersFromSlave300)
{
    open(115200);
    // Slave 300: x = 52, address bytes F8 34; 2500 = 0x09C4 registers.
    Bytes reply = {0xF8, 0x34, 0x03, 0x13, 0x88};
    for (int i = 0; i < 2500; ++i) {
        reply.push_back(static_cast<std::uint8_t>((i * 7) >> 8));
        reply.push_back(static_cast<std::uint8_t>(i * 7));
    }
    peer.expect(withCrc({0xF8, 0x34, 0x03, 0x00, 0x63, 0x09, 0xC4})).send(withCrc(reply));
    peer.start();
    std::vector<short> regs(2500);
    EXPECT_EQ(master.readMultipleRegisters(300, 100, regs.data(), 2500), MBUS_SUCCESS);
    EXPECT_EQ(regs[1], 7);
    EXPECT_EQ(regs[2499], static_cast<short>(2499 * 7));
    expectScriptDone();
}

TEST_F(ElamOverPty, StandardAndExtendedAddresses)
{
    open();
    peer.expect(withCrc({0xF7, 0x04, 0x00, 0x00, 0x00, 0x01})).send(withCrc({0xF7, 0x04, 0x02, 0x00, 0x01}));
    peer.expect(withCrc({0xF8, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01}))
        .send(withCrc({0xF8, 0x00, 0x04, 0x00, 0x02, 0x00, 0x02}));
    // A reply from 249 to a request for 248, and an exception from 548.
    peer.expect(withCrc({0xF8, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01}))
        .send(withCrc({0xF8, 0x01, 0x04, 0x00, 0x02, 0x00, 0x02}));
    peer.expect(withCrc({0xF9, 0x2C, 0x03, 0x00, 0x00, 0x00, 0x01})).send(withCrc({0xF9, 0x2C, 0x83, 0x02}));
    // A coil write to an extended slave keeps the standard PDU.
    peer.expect(withCrc({0xFA, 0xF0, 0x05, 0x00, 0x04, 0xFF, 0x00}))
        .send(withCrc({0xFA, 0xF0, 0x05, 0x00, 0x04, 0xFF, 0x00}));
    peer.start();
    short reg = 0;
    EXPECT_EQ(master.readInputRegisters(247, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 1);
    EXPECT_EQ(master.readInputRegisters(248, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 2);
    EXPECT_EQ(master.readInputRegisters(248, 1, &reg, 1), MBUS_INVALID_FRAME_ERROR);
    EXPECT_EQ(master.readMultipleRegisters(548, 1, &reg, 1), MBUS_ILLEGAL_ADDRESS_RESPONSE);
    EXPECT_EQ(master.writeCoil(1000, 5, 1), MBUS_SUCCESS);
    expectScriptDone();
}
