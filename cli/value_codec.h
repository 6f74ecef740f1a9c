// Turns raw 16-bit registers into typed values and back, for every type and byte order the tool
// offers. Registers travel as plain 16-bit words; all knowledge of layouts lives here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ValueType { Int16, Uint16, Int32, Uint32, Int64, Uint64, Float, Double, Mod10000, Text };

// Where the bytes of a value sit, named by the order in which the bytes A (most significant)
// to D appear in the registers: abcd = high word first, high byte first; cdab = low word first;
// badc = bytes swapped in each register; dcba = both. A 64-bit value swaps its four words alike.
enum class ByteOrder { Abcd, Cdab, Badc, Dcba };

// One decoded value as the output needs it: its text, and how a JSON writer must place it.
struct DecodedValue {
    enum class Kind { Number, Text, NotANumber };
    std::string text;
    Kind kind = Kind::Number;
};

class ValueCodec {
public:
    ValueCodec(ValueType type, ByteOrder order) : type_(type), order_(order) {}

    // Names as typed on the command line ("int16", "float", "cdab", ...); false if unknown.
    static bool typeFromName(const std::string &name, ValueType &type);
    static bool orderFromName(const std::string &name, ByteOrder &order);

    // Registers one value takes; for text, the registers holding `characters` characters.
    int registersPerValue() const;
    static int textRegisters(int characters) { return (characters + 1) / 2; }
    // A device's text made safe for a terminal: printable ASCII as is, other bytes as \xNN.
    static std::string printable(const std::string &raw);

    // Decodes one value from registersPerValue() registers (text: from all of `count`).
    DecodedValue decode(const std::uint16_t *registers, int count) const;

    // Encodes a value typed by the user, appending its registers. False, with a reason in
    // `error`, when the text is no value of the type or out of its range.
    bool encode(const std::string &text, std::vector<std::uint16_t> &registers, std::string &error) const;

private:
    // Big-endian bytes of a 1-, 2- or 4-register value from registers, and back.
    std::uint64_t gather(const std::uint16_t *registers, int count) const;
    void scatter(std::uint64_t bits, int count, std::vector<std::uint16_t> &registers) const;
    bool wordsSwapped() const { return order_ == ByteOrder::Cdab || order_ == ByteOrder::Dcba; }
    bool bytesSwapped() const { return order_ == ByteOrder::Badc || order_ == ByteOrder::Dcba; }

    ValueType type_;
    ByteOrder order_;
};
