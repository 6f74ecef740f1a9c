// The library's value layouts against the simulator's independent register table: every layout
// written and read back, bit for bit.
#include "protocol/value_layout.h"
#include "sim/pdu_processor.h"

#include "mbus.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using mbus::ValueLayout;

class LibraryLayoutTest : public ::testing::Test {
protected:
    // Writes the registers at wire address 100 with function code 16 and reads them back with 3.
    std::vector<std::uint16_t> writeAndRead(const std::vector<std::uint16_t>& regs)
    {
        Bytes request{16, 0, 100, 0, std::uint8_t(regs.size()), std::uint8_t(2 * regs.size())};
        for (std::uint16_t r : regs) request.insert(request.end(), {std::uint8_t(r >> 8), std::uint8_t(r)});
        Bytes reply;
        std::string text;
        processor.process(request.data(), request.size(), reply, text);
        const Bytes read{3, 0, 100, 0, std::uint8_t(regs.size())};
        processor.process(read.data(), read.size(), reply, text);
        std::vector<std::uint16_t> back;
        for (std::size_t i = 2; i + 1 < reply.size(); i += 2) back.push_back(std::uint16_t((reply[i] << 8) | reply[i + 1]));
        return back;
    }

    // Writes value with the layout, reads the registers back and decodes them.
    template <class T>
    void roundTrip(T value, ValueLayout layout)
    {
        std::vector<std::uint16_t> regs(sizeof(T) / 2);
        mbus::encodeValue(value, layout, regs.data());
        const std::vector<std::uint16_t> back = writeAndRead(regs);
        ASSERT_EQ(back, regs);
        const T decoded = mbus::decodeValue<T>(back.data(), layout);
        EXPECT_EQ(std::memcmp(&decoded, &value, sizeof value), 0) << layout.highWordFirst << layout.swappedBytes;
    }

    sim::DataTables tables;
    sim::PduProcessor processor{tables};
};

const ValueLayout kLayouts[] = {ValueLayout::abcd(), ValueLayout::cdab(), ValueLayout::badc(), ValueLayout::dcba()};

TEST_F(LibraryLayoutTest, EveryLayoutRoundTripsThroughTheRegisterTable)
{
    for (const ValueLayout layout : kLayouts) {
        roundTrip<std::uint16_t>(0xA1B2, layout);
        roundTrip<std::uint32_t>(0xA1B2C3D4u, layout);
        roundTrip<std::int32_t>(-123456789, layout);
        roundTrip(-1.25e-3f, layout);
        roundTrip<std::uint64_t>(0xF1E2D3C4B5A69788u, layout);
        roundTrip<std::int64_t>(-1234567890123456789, layout);
        roundTrip(6.02214076e23, layout);

        std::vector<std::uint16_t> regs(4);
        ASSERT_EQ(mbus::encodeText("Tank 7", 6, layout, regs.data(), 4), MBUS_SUCCESS);
        char text[9];
        ASSERT_EQ(mbus::decodeText(writeAndRead(regs).data(), 4, layout, text, sizeof text), MBUS_SUCCESS);
        EXPECT_STREQ(text, "Tank 7");
    }
    // The last layout swaps the bytes: the device holds "aT" in the first register.
    EXPECT_EQ(tables.holdingRegisters[100], ('a' << 8) | 'T');
}

} // namespace
