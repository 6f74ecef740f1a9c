#include <gtest/gtest.h>

#include "scripted_master.h"

TEST(Settings, NewMasterDefaults)
{
    ScriptedMaster master;
    EXPECT_EQ(1000, master.getTimeout());
    EXPECT_EQ(0, master.getPollDelay());
    EXPECT_EQ(0, master.getRetryCnt());
    EXPECT_EQ(0, master.getTotalCounter());
    EXPECT_EQ(0, master.getSuccessCounter());
    EXPECT_FALSE(master.isOpen());
    EXPECT_EQ(255, master.getMaxSlaveAddress());
    for (int slave = 0; slave < 256; ++slave)
        ASSERT_EQ(0, master.options(slave));
}

TEST(Settings, RangeTestComesBeforeStateTest)
{
    ScriptedMaster master;
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.setTimeout(0));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.setTimeout(100001));
    EXPECT_EQ(MBUS_SUCCESS, master.setTimeout(100000));
    EXPECT_EQ(MBUS_SUCCESS, master.setTimeout(1));
    EXPECT_EQ(1, master.getTimeout());
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.setPollDelay(-1)); // a huge delay taken as unsigned
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.setPollDelay(100001));
    EXPECT_EQ(MBUS_SUCCESS, master.setPollDelay(0));
    EXPECT_EQ(MBUS_SUCCESS, master.setPollDelay(100000));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.setRetryCnt(11));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.setRetryCnt(-1));
    EXPECT_EQ(MBUS_SUCCESS, master.setRetryCnt(10));

    master.open = true;
    EXPECT_EQ(MBUS_ILLEGAL_STATE, master.setTimeout(100000));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.setTimeout(100001));
    EXPECT_EQ(MBUS_ILLEGAL_STATE, master.setPollDelay(5));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.setPollDelay(-1));
    EXPECT_EQ(MBUS_ILLEGAL_STATE, master.setRetryCnt(2));
    EXPECT_EQ(1, master.getTimeout());
    EXPECT_EQ(100000, master.getPollDelay());
    EXPECT_EQ(10, master.getRetryCnt());
}

TEST(Settings, SlaveOptionsChangeOnlyTheirBits)
{
    ScriptedMaster master;
    EXPECT_EQ(MBUS_SUCCESS, master.configure32BitRegisterMode(5));
    EXPECT_EQ(0x0E, master.options(5));
    EXPECT_EQ(MBUS_SUCCESS, master.configureLittleEndianInts(5));
    EXPECT_EQ(0x0C, master.options(5)); // bits 3 and 2 stay, bit 1 cleared
    EXPECT_EQ(MBUS_SUCCESS, master.configureZeroBasedAddressing(5));
    EXPECT_EQ(0x0D, master.options(5));
    EXPECT_EQ(MBUS_SUCCESS, master.configureStandardRegisterMode(5));
    EXPECT_EQ(0x01, master.options(5));
    EXPECT_EQ(MBUS_SUCCESS, master.configureBigEndianFloats(5));
    EXPECT_EQ(MBUS_SUCCESS, master.configureBigEndianInts(5));
    EXPECT_EQ(0x07, master.options(5));
    EXPECT_EQ(MBUS_SUCCESS, master.configureLittleEndianFloats(5));
    EXPECT_EQ(MBUS_SUCCESS, master.configureOneBasedAddressing(5));
    EXPECT_EQ(0x02, master.options(5));
    EXPECT_EQ(0, master.options(4));
    EXPECT_EQ(0, master.options(6));
}

TEST(Settings, SlaveFormRefusesAddressesOutsideTheMastersRange)
{
    ScriptedMaster ip(255);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, ip.configureBigEndianInts(256));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, ip.configureBigEndianInts(-1));
    EXPECT_EQ(MBUS_SUCCESS, ip.configureBigEndianInts(255));
    EXPECT_EQ(MBUS_SUCCESS, ip.configureBigEndianInts(0));
    ScriptedMaster serial(247);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, serial.configureBigEndianInts(248));
    EXPECT_EQ(0, serial.options(248));
}

TEST(Settings, AllSlavesFormStopsAtTheHighestAddress)
{
    ScriptedMaster serial(247);
    serial.configureZeroBasedAddressing();
    EXPECT_EQ(0x01, serial.options(0));
    EXPECT_EQ(0x01, serial.options(247));
    EXPECT_EQ(0x00, serial.options(248));
    serial.open = true; // works whether open or not
    serial.configure32BitRegisterMode();
    EXPECT_EQ(0x0F, serial.options(100));
    serial.configureOneBasedAddressing();
    EXPECT_EQ(0x0E, serial.options(100));
}
