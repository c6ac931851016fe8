#include "Packing.h"

#include "SysExFormat.h"

namespace {

constexpr int SerialDigits = 9;
constexpr std::uint32_t SerialModulus = 1000000000;
constexpr int DecimalBase = 10;
constexpr char SerialSeparator = '-';

char checkDigit(int a, int b)
{
    return static_cast<char>('0' + (a + b) % DecimalBase);
}

char digitChar(int digit)
{
    return static_cast<char>('0' + digit);
}

} // namespace

std::uint8_t dataChecksum(const std::uint8_t *bytes, int count)
{
    std::uint8_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return sum & SysEx::DataMask;
}

int groupCount(int count)
{
    if (count <= 0)
        return 0;
    return (count - 1) / SysEx::GroupRawBytes + 1;
}

int packGroups(const std::uint8_t *bytes, int count, char *out)
{
    const int groups = groupCount(count);
    for (int k = 0; k < groups; ++k) {
        char *group = out + k * SysEx::GroupLength;
        std::uint8_t flags = 0;
        for (int j = 0; j < SysEx::GroupRawBytes; ++j) {
            const int index = k * SysEx::GroupRawBytes + j;
            const std::uint8_t raw = index < count ? bytes[index] : 0;
            group[j] = static_cast<char>(raw & SysEx::DataMask);
            if (raw & SysEx::HighBit)
                flags |= 1u << j;
        }
        group[SysEx::FlagPosition] = static_cast<char>(flags);
    }
    return groups * SysEx::GroupLength;
}

int unpackGroups(int length, const std::uint8_t *data, std::uint8_t *destination, int capacity)
{
    int written = 0;
    for (int offset = 0; offset + SysEx::GroupLength <= length; offset += SysEx::GroupLength) {
        if (written + SysEx::GroupRawBytes > capacity)
            break;
        const std::uint8_t flags = data[offset + SysEx::FlagPosition];
        for (int j = 0; j < SysEx::GroupRawBytes; ++j) {
            std::uint8_t value = data[offset + j];
            if (flags & (1u << j))
                value |= SysEx::HighBit;
            destination[written + j] = value;
        }
        written += SysEx::GroupRawBytes;
    }
    return written;
}

std::array<char, SerialTextLength + 1> formatSerial(std::uint32_t serial)
{
    // Nine digits, most significant first; the display form only has room for nine.
    std::array<int, SerialDigits> c{};
    std::uint32_t rest = serial % SerialModulus;
    for (int i = SerialDigits - 1; i >= 0; --i) {
        c[i] = static_cast<int>(rest % DecimalBase);
        rest /= DecimalBase;
    }
    // Three blocks, each with one check digit: c4 c7 x - c5 c2 x - c6 x c3.
    return {digitChar(c[4]), digitChar(c[7]), checkDigit(c[0], c[4]), SerialSeparator, digitChar(c[5]),
        digitChar(c[2]), checkDigit(c[1], c[5]), SerialSeparator, digitChar(c[6]), checkDigit(c[8], c[6]),
        digitChar(c[3]), '\0'};
}
