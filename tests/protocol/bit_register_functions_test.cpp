// Request bytes, expected reply lengths and reply checks of the bit, register and diagnostic
// functions, against a scripted transport.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "scripted_master.h"

using Bytes = std::vector<unsigned char>;

class DataAccess : public ::testing::Test {
protected:
    ScriptedMaster master;
};

TEST_F(DataAccess, ReadCoilsRequestAndUnpacking)
{
    master.reply({0x02, 0xCD, 0x01});
    int bits[10];
    ASSERT_EQ(MBUS_SUCCESS, master.readCoils(1, 20, bits, 10));
    EXPECT_EQ(1, master.last().functionCode);
    EXPECT_EQ((Bytes{0x00, 0x13, 0x00, 0x0A}), master.last().data); // reference 20 is wire address 19
    EXPECT_EQ(3, master.last().replyLen);
    const int expected[10] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(expected[i], bits[i]) << i;
}

TEST_F(DataAccess, ReadBitsCountLimits)
{
    std::vector<int> bits(2001, 7);
    Bytes full(251, 0xFF);
    full[0] = 250;
    master.reply(full);
    ASSERT_EQ(MBUS_SUCCESS, master.readInputDiscretes(3, 1, bits.data(), 2000));
    EXPECT_EQ(2, master.last().functionCode);
    EXPECT_EQ((Bytes{0x00, 0x00, 0x07, 0xD0}), master.last().data);
    EXPECT_EQ(251, master.last().replyLen);

    master.requests.clear();
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readCoils(1, 1, bits.data(), 2001));
    EXPECT_EQ(0, bits[0]); // cleared before the count was refused
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readCoils(1, 1, bits.data(), 0));
    EXPECT_TRUE(master.requests.empty());
}

TEST_F(DataAccess, WrongByteCountOrShortReplyLeavesZeros)
{
    int bits[9];
    master.reply({0x01, 0xFF, 0xFF}); // 9 coils need two data bytes
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.readCoils(1, 1, bits, 9));
    for (int bit : bits)
        EXPECT_EQ(0, bit);
    master.reply({0x02, 0xFF}); // byte count right, data cut short
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.readCoils(1, 1, bits, 9));
    for (int bit : bits)
        EXPECT_EQ(0, bit);
}

TEST_F(DataAccess, ReferencesFollowTheAddressingMode)
{
    short regs[1];
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readMultipleRegisters(1, 0, regs, 1));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readMultipleRegisters(1, 65537, regs, 1));
    master.reply({0x02, 0x00, 0x01});
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, regs, 1));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 0x01}), master.last().data);
    master.reply({0x02, 0x00, 0x01});
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 65536, regs, 1));
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0x00, 0x01}), master.last().data);

    ASSERT_EQ(MBUS_SUCCESS, master.configureZeroBasedAddressing(1));
    master.reply({0x02, 0x00, 0x01});
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 0, regs, 1));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 0x01}), master.last().data);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readMultipleRegisters(1, 65536, regs, 1));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readMultipleRegisters(1, -1, regs, 1));
    // Other slaves keep one-based references.
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readMultipleRegisters(2, 0, regs, 1));
}

TEST_F(DataAccess, SlaveAddressRange)
{
    short regs[1];
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readMultipleRegisters(256, 1, regs, 1));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readMultipleRegisters(-1, 1, regs, 1));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.writeSingleRegister(256, 1, 0));
    EXPECT_TRUE(master.requests.empty());
    ScriptedMaster serial(247);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, serial.writeCoil(248, 1, 1));
}

TEST_F(DataAccess, ReadRegistersUnpacksBigEndianAndChecksByteCount)
{
    short regs[126] = {}; // room for the refused count of 126, which is cleared too
    Bytes reply(251, 0);
    reply[0] = 250;
    reply[1] = 0x12;
    reply[2] = 0x34;
    reply[249] = 0xFF;
    reply[250] = 0xFE;
    master.reply(reply);
    ASSERT_EQ(MBUS_SUCCESS, master.readInputRegisters(1, 1, regs, 125));
    EXPECT_EQ(4, master.last().functionCode);
    EXPECT_EQ(251, master.last().replyLen);
    EXPECT_EQ(0x1234, regs[0]);
    EXPECT_EQ(-2, regs[124]);

    reply[0] = 248;
    master.reply(reply);
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.readMultipleRegisters(1, 1, regs, 125));
    for (short value : regs)
        ASSERT_EQ(0, value);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readMultipleRegisters(1, 1, regs, 126));
}

TEST_F(DataAccess, TransportFailuresPassThroughWithZeroedOutput)
{
    short regs[2] = {5, 5};
    master.fail(MBUS_ILLEGAL_ADDRESS_RESPONSE);
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, master.readMultipleRegisters(1, 1, regs, 2));
    EXPECT_EQ(0, regs[0]);
    EXPECT_EQ(0, regs[1]);
}

TEST_F(DataAccess, WriteCoilValueAndAcceptedEchoes)
{
    master.reply({0x00, 0x04, 0xFF, 0x00});
    EXPECT_EQ(MBUS_SUCCESS, master.writeCoil(1, 5, 7));
    EXPECT_EQ(5, master.last().functionCode);
    EXPECT_EQ((Bytes{0x00, 0x04, 0xFF, 0x00}), master.last().data);
    master.reply({0x99, 0x99, 0x00, 0x01}); // address echo is not compared
    EXPECT_EQ(MBUS_SUCCESS, master.writeCoil(1, 5, 1));
    master.reply({0x00, 0x04, 0x00, 0x00});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.writeCoil(1, 5, 1));
    master.reply({0x00, 0x04, 0x00, 0x00});
    EXPECT_EQ(MBUS_SUCCESS, master.writeCoil(1, 5, 0));
    EXPECT_EQ((Bytes{0x00, 0x04, 0x00, 0x00}), master.last().data);
    master.reply({0x00, 0x04, 0x12, 0x34});
    EXPECT_EQ(MBUS_SUCCESS, master.writeCoil(0, 5, 1)); // broadcast passes
}

TEST_F(DataAccess, WriteSingleRegisterEchoRules)
{
    master.reply({0x00, 0x00, 0x12, 0x34});
    EXPECT_EQ(MBUS_SUCCESS, master.writeSingleRegister(1, 1, 0x1234));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x12, 0x34}), master.last().data);
    master.reply({0x00, 0x00, 0x00, 0x02});
    EXPECT_EQ(MBUS_SUCCESS, master.writeSingleRegister(1, 1, 0x1234));
    master.reply({0x00, 0x00, 0x12, 0x35});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.writeSingleRegister(1, 1, 0x1234));
    master.reply({0x00, 0x00, 0x12, 0x35});
    EXPECT_EQ(MBUS_SUCCESS, master.writeSingleRegister(0, 1, 0x1234));
    master.reply({0x00, 0x00}); // a truncated reply is no echo
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.writeSingleRegister(1, 1, 0x1234));
}

TEST_F(DataAccess, ForceMultipleCoilsPacking)
{
    int bits[9] = {1, 1, 1, 1, 1, 1, 1, 1, 5};
    master.reply({0x00, 0x00, 0x00, 0x09});
    EXPECT_EQ(MBUS_SUCCESS, master.forceMultipleCoils(1, 1, bits, 9));
    EXPECT_EQ(15, master.last().functionCode);
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 0x09, 0x02, 0xFF, 0x01}), master.last().data);
    master.reply({0x00, 0x00, 0x00, 0x08});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.forceMultipleCoils(1, 1, bits, 9));
    std::vector<int> many(1969, 1);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.forceMultipleCoils(1, 1, many.data(), 1969));
    master.reply({0x00, 0x00, 0x07, 0xB0});
    EXPECT_EQ(MBUS_SUCCESS, master.forceMultipleCoils(1, 1, many.data(), 1968));
    EXPECT_EQ(5 + 246, static_cast<int>(master.last().data.size()));
}

TEST_F(DataAccess, WriteMultipleRegistersLimits)
{
    std::vector<short> regs(124, 0x0102);
    master.reply({0x00, 0x00, 0x00, 0x7B});
    EXPECT_EQ(MBUS_SUCCESS, master.writeMultipleRegisters(1, 1, regs.data(), 123));
    EXPECT_EQ(16, master.last().functionCode);
    ASSERT_EQ(251u, master.last().data.size());
    EXPECT_EQ(246, master.last().data[4]);
    EXPECT_EQ(0x01, master.last().data[5]);
    EXPECT_EQ(0x02, master.last().data[6]);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.writeMultipleRegisters(1, 1, regs.data(), 124));
    master.reply({0x00, 0x00, 0x00, 0x7A});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.writeMultipleRegisters(1, 1, regs.data(), 123));
}

TEST_F(DataAccess, MaskWriteNeedsAFullEcho)
{
    master.reply({0x00, 0x04, 0x00, 0xF2, 0x00, 0x25});
    EXPECT_EQ(MBUS_SUCCESS, master.maskWriteRegister(1, 5, 0x00F2, 0x0025));
    EXPECT_EQ(22, master.last().functionCode);
    EXPECT_EQ((Bytes{0x00, 0x04, 0x00, 0xF2, 0x00, 0x25}), master.last().data);
    master.reply({0x00, 0x05, 0x00, 0xF2, 0x00, 0x25});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.maskWriteRegister(1, 5, 0x00F2, 0x0025));
}

TEST_F(DataAccess, ReadWriteRegisters)
{
    short readBack[2];
    const short values[3] = {1, 2, -1};
    master.reply({0x04, 0x00, 0x0A, 0xFF, 0xF6});
    ASSERT_EQ(MBUS_SUCCESS, master.readWriteRegisters(1, 4, readBack, 2, 15, values, 3));
    EXPECT_EQ(23, master.last().functionCode);
    EXPECT_EQ((Bytes{0x00, 0x03, 0x00, 0x02, 0x00, 0x0E, 0x00, 0x03, 0x06, 0x00, 0x01, 0x00, 0x02, 0xFF, 0xFF}),
              master.last().data);
    EXPECT_EQ(5, master.last().replyLen);
    EXPECT_EQ(10, readBack[0]);
    EXPECT_EQ(-10, readBack[1]);
    std::vector<short> many(122);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readWriteRegisters(1, 1, readBack, 2, 1, many.data(), 122));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readWriteRegisters(1, 1, readBack, 2, 0, many.data(), 1));
}

TEST_F(DataAccess, ExceptionStatus)
{
    unsigned char status = 0x55;
    master.reply({0x6D});
    ASSERT_EQ(MBUS_SUCCESS, master.readExceptionStatus(1, &status));
    EXPECT_EQ(7, master.last().functionCode);
    EXPECT_TRUE(master.last().data.empty());
    EXPECT_EQ(1, master.last().replyLen);
    EXPECT_EQ(0x6D, status);
    master.fail(MBUS_REPLY_TIMEOUT);
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readExceptionStatus(1, &status));
    EXPECT_EQ(0x6D, status); // unchanged on failure
    master.reply({});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.readExceptionStatus(1, &status));
    EXPECT_EQ(0x6D, status);
}

TEST_F(DataAccess, ReturnQueryData)
{
    Bytes query(250);
    for (int i = 0; i < 250; ++i)
        query[i] = static_cast<unsigned char>(i);
    Bytes echo(250, 0xEE);
    Bytes reply(252, 0x00); // sub-function 0, then the query
    std::copy(query.begin(), query.end(), reply.begin() + 2);
    master.reply(reply);
    ASSERT_EQ(MBUS_SUCCESS, master.returnQueryData(1, query.data(), echo.data(), 250));
    EXPECT_EQ(8, master.last().functionCode);
    EXPECT_EQ(252u, master.last().data.size());
    EXPECT_EQ(query, echo);

    reply[100] ^= 0x01;
    master.reply(reply);
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.returnQueryData(1, query.data(), echo.data(), 250));
    EXPECT_EQ(reply[100], echo[98]); // holds what came back
    Bytes big(251);
    Bytes bigEcho(251);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.returnQueryData(1, big.data(), bigEcho.data(), 251));
}

TEST_F(DataAccess, RestartCommunicationsIsNotChecked)
{
    master.reply({0x12});
    EXPECT_EQ(MBUS_SUCCESS, master.restartCommunicationsOption(1, 3));
    EXPECT_EQ((Bytes{0x00, 0x01, 0xFF, 0x00}), master.last().data);
    master.fail(MBUS_ILLEGAL_FUNCTION_RESPONSE);
    EXPECT_EQ(MBUS_ILLEGAL_FUNCTION_RESPONSE, master.restartCommunicationsOption(1, 0));
    EXPECT_EQ((Bytes{0x00, 0x01, 0x00, 0x00}), master.last().data);
}

TEST_F(DataAccess, CustomFunctionLengthsAreCheckedFirst)
{
    unsigned char request[253] = {1, 2, 3};
    unsigned char reply[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    std::size_t length = 4;
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.customFunction(1, 0, request, 3, reply, &length));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.customFunction(1, 128, request, 3, reply, &length));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.customFunction(1, 65, request, 253, reply, &length));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.customFunction(1, 65, request, 3, reply, nullptr));
    length = 253;
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.customFunction(1, 65, request, 3, reply, &length));
    EXPECT_EQ(253u, length); // left as it was
    EXPECT_EQ(9, reply[0]);  // nothing cleared
    EXPECT_TRUE(master.requests.empty());

    length = 8;
    master.reply({0xAA, 0xBB});
    ASSERT_EQ(MBUS_SUCCESS, master.customFunction(1, 65, request, 3, reply, &length));
    EXPECT_EQ(2u, length);
    EXPECT_EQ(0xAA, reply[0]);
    EXPECT_EQ(0xBB, reply[1]);
    EXPECT_EQ(0, reply[2]); // cleared before the call
    EXPECT_EQ(65, master.last().functionCode);
    EXPECT_EQ((Bytes{1, 2, 3}), master.last().data);
    EXPECT_EQ(8, master.last().replyLen);

    length = 8;
    master.fail(MBUS_REPLY_TIMEOUT);
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.customFunction(1, 65, request, 0, reply, &length));
    EXPECT_EQ(0u, length);
}
