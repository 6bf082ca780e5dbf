// Reads typed values from a fuzzer's bytes. Running out of bytes yields zeros,
// so every input, however short, is a complete test case.
//
// A number is a tag byte followed by its encoding (tag % 4):
//   0  the 8 bytes of an IEEE-754 double, little-endian: any value at all,
//      NaN, infinities and subnormals included
//   1  one byte choosing a value from a table of awkward ones
//   2  a signed 16-bit integer divided by 64: ordinary engineering sizes
//   3  a signed 32-bit integer divided by 1e6: fine steps near zero
// fuzz/make_numeric_seeds.py writes inputs in this format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace kexfuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : std::uint8_t{0}; }

    // The value whose little-endian bytes come next.
    template <typename T>
    T bits() {
        std::array<unsigned char, sizeof(T)> raw{};
        for (unsigned char& b : raw) {
            b = byte();
        }
        T value{};
        std::memcpy(&value, raw.data(), sizeof(T));
        return value;
    }

    double number() {
        const std::uint8_t tag = byte();
        switch (tag % 4U) {
        case 0:
            return bits<double>();
        case 1: {
            const std::uint8_t index = byte();
            return kAwkward[index % kAwkward.size()];
        }
        case 2:
            return static_cast<double>(bits<std::int16_t>()) / 64.0;
        default:
            return static_cast<double>(bits<std::int32_t>()) / 1.0e6;
        }
    }

    std::string text(std::size_t maxLength) {
        const std::size_t length = byte() % (maxLength + 1);
        std::string s;
        for (std::size_t k = 0; k < length; ++k) {
            s.push_back(static_cast<char>(byte()));
        }
        return s;
    }

private:
    static constexpr std::array<double, 20> kAwkward{
        0.0,
        -0.0,
        1.0,
        -1.0,
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::denorm_min(),
        std::numeric_limits<double>::min(),
        std::numeric_limits<double>::max(),
        -std::numeric_limits<double>::max(),
        std::numeric_limits<double>::epsilon(),
        1e-6,  // the model's guard on divisors
        -1e-6,
        9.99e-7,
        1e-12,  // its guard on source EMFs
        0.004,  // the smallest fault distance
        -0.004,
        1e300,
        1e-300,
    };

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace kexfuzz
