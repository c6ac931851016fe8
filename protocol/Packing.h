#pragma once

#include <array>
#include <cstdint>

// Seven-bit packing of raw data in both directions, the checksum of outgoing data and the display
// form of the unit's serial number.

constexpr int SerialTextLength = 11;

// Low seven bits of the 8-bit sum of the count raw bytes; 0 for count <= 0.
std::uint8_t dataChecksum(const std::uint8_t *bytes, int count);

// Groups needed for count raw bytes; 0 for count <= 0.
int groupCount(int count);

// Writes groupCount(count) groups to out and returns the bytes written. A last group with fewer than
// four raw bytes is filled up with zero bytes; nothing beyond bytes[count - 1] is read.
int packGroups(const std::uint8_t *bytes, int count, char *out);

// Unpacks the whole groups of a data field of length bytes into destination and returns the bytes
// written. A trailing partial group is ignored, and nothing is written at or beyond capacity.
int unpackGroups(int length, const std::uint8_t *data, std::uint8_t *destination, int capacity);

// The 11 characters of the serial number's display form, zero-terminated.
std::array<char, SerialTextLength + 1> formatSerial(std::uint32_t serial);
