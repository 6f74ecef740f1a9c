// The fuzzer's bytes as a stream that the harness and the simulated peer read from in order.
// Reads past the end give the fallback, so every input, however short, drives a whole run.
#ifndef MBUS_FUZZ_FUZZ_INPUT_H
#define MBUS_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    std::size_t remaining() const { return size_ - pos_; }
    bool exhausted() const { return pos_ >= size_; }

    std::uint8_t byte(std::uint8_t fallback = 0)
    {
        return pos_ < size_ ? data_[pos_++] : fallback;
    }
    // Big-endian, as the frames are.
    std::uint16_t u16(std::uint16_t fallback = 0)
    {
        if (remaining() < 2) {
            pos_ = size_;
            return fallback;
        }
        std::uint16_t value = static_cast<std::uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
        pos_ += 2;
        return value;
    }
    std::uint32_t u32(std::uint32_t fallback = 0)
    {
        if (remaining() < 4) {
            pos_ = size_;
            return fallback;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | data_[pos_++];
        return value;
    }
    // Any bit pattern, so NaNs, infinities and subnormals come up as often as ordinary values.
    double f64(double fallback = 0.0);

    // Copies up to count bytes and returns how many there were.
    std::size_t take(std::uint8_t *out, std::size_t count);

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

#endif
