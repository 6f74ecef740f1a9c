// An independent master (libmodbus) against the simulator: what both sides read the same way
// from the Modbus documents, rather than what the simulator and our library might share.
#include "sim/serial_device.h"
#include "sim/tcp_device.h"

#include <gtest/gtest.h>

#include <modbus.h>

#include <cstdint>
#include <vector>

namespace {

struct ContextCloser {
    void operator()(modbus_t* ctx) const
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Context = std::unique_ptr<modbus_t, ContextCloser>;

class LibmodbusTcpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const int port = dev.start();
        ASSERT_GT(port, 0);
        ctx.reset(modbus_new_tcp("127.0.0.1", port));
        ASSERT_TRUE(ctx);
        ASSERT_EQ(modbus_connect(ctx.get()), 0);
        modbus_set_response_timeout(ctx.get(), 2, 0);
        modbus_set_slave(ctx.get(), 1);
    }
    sim::TcpDevice dev;
    Context ctx;
};

TEST_F(LibmodbusTcpTest, RegistersAndBits)
{
    for (std::uint16_t a = 0; a < 125; ++a) dev.setHoldingRegister(std::uint16_t(100 + a), std::uint16_t(a * 3));
    std::vector<std::uint16_t> regs(125);
    ASSERT_EQ(modbus_read_registers(ctx.get(), 100, 125, regs.data()), 125);
    for (std::uint16_t a = 0; a < 125; ++a) EXPECT_EQ(regs[a], a * 3);

    dev.setInputRegister(8, 10);
    std::uint16_t in = 0;
    ASSERT_EQ(modbus_read_input_registers(ctx.get(), 8, 1, &in), 1);
    EXPECT_EQ(in, 10);

    const std::uint16_t values[] = {0x000A, 0x0102};
    ASSERT_EQ(modbus_write_registers(ctx.get(), 1, 2, values), 2);
    EXPECT_EQ(dev.holdingRegister(2), 0x0102);
    ASSERT_EQ(modbus_write_register(ctx.get(), 9, 0xBEEF), 1);
    EXPECT_EQ(dev.holdingRegister(9), 0xBEEF);

    dev.setHoldingRegister(4, 0x12);
    ASSERT_EQ(modbus_mask_write_register(ctx.get(), 4, 0x00F2, 0x0025), 1);
    EXPECT_EQ(dev.holdingRegister(4), 0x17);

    const std::uint16_t toWrite[] = {7, 8};
    std::uint16_t readBack[3] = {};
    ASSERT_EQ(modbus_write_and_read_registers(ctx.get(), 20, 2, toWrite, 19, 3, readBack), 3);
    EXPECT_EQ(readBack[1], 7);
    EXPECT_EQ(readBack[2], 8);

    std::vector<std::uint8_t> bits(2000);
    dev.setCoil(1999, true);
    ASSERT_EQ(modbus_read_bits(ctx.get(), 0, 2000, bits.data()), 2000);
    EXPECT_EQ(bits[1999], 1);
    EXPECT_EQ(bits[1998], 0);
    dev.setDiscreteInput(3, true);
    ASSERT_EQ(modbus_read_input_bits(ctx.get(), 0, 8, bits.data()), 8);
    EXPECT_EQ(bits[3], 1);
    ASSERT_EQ(modbus_write_bit(ctx.get(), 173, 1), 1);
    EXPECT_TRUE(dev.coil(173));
    const std::uint8_t pattern[] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0};
    ASSERT_EQ(modbus_write_bits(ctx.get(), 19, 10, pattern), 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(dev.coil(std::uint16_t(19 + i)), pattern[i] != 0) << i;
}

TEST_F(LibmodbusTcpTest, ExceptionsAsLibmodbusReadsThem)
{
    std::uint16_t reg = 0;
    EXPECT_EQ(modbus_read_registers(ctx.get(), 0xFFFF, 2, &reg), -1);
    EXPECT_EQ(errno, EMBXILADD);
    dev.pushFault(sim::Fault{sim::FaultKind::Exception, 4});
    EXPECT_EQ(modbus_read_registers(ctx.get(), 0, 1, &reg), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    // The device answers normally afterwards.
    EXPECT_EQ(modbus_read_registers(ctx.get(), 0, 1, &reg), 1);
}

TEST_F(LibmodbusTcpTest, ExceptionStatusAsRawRequest)
{
    dev.setExceptionStatus(0x6D);
    std::uint8_t rsp[MODBUS_TCP_MAX_ADU_LENGTH];
    const std::uint8_t status[] = {0x01, 0x07};
    ASSERT_GT(modbus_send_raw_request(ctx.get(), status, sizeof status), 0);
    ASSERT_EQ(modbus_receive_confirmation(ctx.get(), rsp), 9);
    EXPECT_EQ(rsp[8], 0x6D);
    // (libmodbus sizes a reply by its function code and has no size for code 8, so the
    // diagnostics echo is covered by the raw-socket tests only.)
}

TEST(LibmodbusRtu, ReadAndWriteOverAPseudoTerminal)
{
    sim::SerialDevice dev;
    const std::string path = dev.start(sim::SerialFraming::Rtu);
    ASSERT_FALSE(path.empty());
    dev.setSlaveAddress(17);
    dev.setHoldingRegister(107, 555);
    dev.setHoldingRegister(109, 100);
    Context ctx(modbus_new_rtu(path.c_str(), 19200, 'N', 8, 1));
    ASSERT_TRUE(ctx);
    ASSERT_EQ(modbus_connect(ctx.get()), 0);
    modbus_set_response_timeout(ctx.get(), 2, 0);
    modbus_set_slave(ctx.get(), 17);
    std::uint16_t regs[3] = {};
    ASSERT_EQ(modbus_read_registers(ctx.get(), 107, 3, regs), 3);
    EXPECT_EQ(regs[0], 555);
    EXPECT_EQ(regs[2], 100);
    ASSERT_EQ(modbus_write_register(ctx.get(), 1, 3), 1);
    EXPECT_EQ(dev.holdingRegister(1), 3);
    dev.pushFault(sim::Fault{sim::FaultKind::BadChecksum, 0});
    EXPECT_EQ(modbus_read_registers(ctx.get(), 107, 1, regs), -1);
    EXPECT_EQ(errno, EMBBADCRC);
}

} // namespace
