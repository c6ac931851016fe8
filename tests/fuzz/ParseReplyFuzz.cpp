#include "DeviceLink.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Parses the input twice: as a message of exactly its own length, and inside a zero-filled receive
// buffer with a count taken from its first two bytes, as a corrupt buffer header could report it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static DeviceLink link;
    link.parseReply(data, int(std::min<std::size_t>(size, INT_MAX)));

    if (size >= 2) {
        const int claimed = std::int16_t(data[0] | (data[1] << 8));
        std::vector<std::uint8_t> buffer(MidiPort::InputBufferSize, 0);
        std::memcpy(buffer.data(), data + 2, std::min<std::size_t>(size - 2, buffer.size()));
        link.parseReply(buffer.data(), claimed);
    }
    return 0;
}
