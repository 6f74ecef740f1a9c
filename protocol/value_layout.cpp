#include "protocol/value_layout.h"

#include "mbus.h"

namespace mbus {

namespace {

std::uint16_t swapBytes(std::uint16_t reg)
{
    return static_cast<std::uint16_t>((reg << 8) | (reg >> 8));
}

// Index of the register that holds word w (0 = least significant) of a regCnt-register value.
int registerOfWord(int w, int regCnt, ValueLayout layout)
{
    return layout.highWordFirst ? regCnt - 1 - w : w;
}

} // namespace

std::uint64_t joinRegisters(const std::uint16_t regs[], int regCnt, ValueLayout layout)
{
    std::uint64_t bits = 0;
    for (int w = regCnt - 1; w >= 0; --w) {
        std::uint16_t reg = regs[registerOfWord(w, regCnt, layout)];
        bits = (bits << 16) | (layout.swappedBytes ? swapBytes(reg) : reg);
    }
    return bits;
}

void splitRegisters(std::uint64_t bits, int regCnt, ValueLayout layout, std::uint16_t regs[])
{
    for (int w = 0; w < regCnt; ++w) {
        auto word = static_cast<std::uint16_t>(bits >> (16 * w));
        regs[registerOfWord(w, regCnt, layout)] = layout.swappedBytes ? swapBytes(word) : word;
    }
}

int encodeText(const char *text, std::size_t textLen, ValueLayout layout, std::uint16_t regs[], int regCnt)
{
    if (text == nullptr || regs == nullptr || regCnt < 1 || textLen > 2 * static_cast<std::size_t>(regCnt))
        return MBUS_ILLEGAL_ARGUMENT;
    for (int i = 0; i < regCnt; ++i) {
        const std::size_t at = 2 * static_cast<std::size_t>(i);
        const unsigned first = at < textLen ? static_cast<unsigned char>(text[at]) : 0;
        const unsigned second = at + 1 < textLen ? static_cast<unsigned char>(text[at + 1]) : 0;
        const auto reg = static_cast<std::uint16_t>((first << 8) | second);
        regs[i] = layout.swappedBytes ? swapBytes(reg) : reg;
    }
    return MBUS_SUCCESS;
}

int decodeText(const std::uint16_t regs[], int regCnt, ValueLayout layout, char text[], std::size_t textSize)
{
    if (regs == nullptr || text == nullptr || regCnt < 1 || textSize < 2 * static_cast<std::size_t>(regCnt) + 1)
        return MBUS_ILLEGAL_ARGUMENT;
    for (int i = 0; i < regCnt; ++i) {
        const std::uint16_t reg = layout.swappedBytes ? swapBytes(regs[i]) : regs[i];
        text[2 * i] = static_cast<char>(reg >> 8);
        text[2 * i + 1] = static_cast<char>(reg & 0xFF);
    }
    text[2 * regCnt] = '\0';
    return MBUS_SUCCESS;
}

} // namespace mbus
