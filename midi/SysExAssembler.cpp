#include "SysExAssembler.h"

namespace {

constexpr std::uint8_t SysExStart = 0xF0;
constexpr std::uint8_t SysExEnd = 0xF7;
constexpr std::uint8_t FirstRealTime = 0xF8;

} // namespace

SysExAssembler::SysExAssembler(std::size_t capacity)
    : message(capacity)
{
}

void SysExAssembler::interrupt()
{
    if (state == State::Collecting)
        state = State::Dropping;
}

bool SysExAssembler::take(std::uint8_t byte)
{
    if (byte >= FirstRealTime)
        return false;
    if (byte == SysExStart) {
        if (state == State::Collecting)
            note(Restarted);
        state = State::Collecting;
        message[0] = byte;
        length = 1;
        return false;
    }
    if (byte & 0x80) {
        const bool ends = byte == SysExEnd && state == State::Collecting;
        if (state == State::Collecting && !ends)
            note(Aborted);
        state = State::Idle;
        if (!ends)
            return false;
    } else if (state != State::Collecting) {
        return false;
    }
    if (length == message.size()) {
        note(Overflowed);
        state = State::Dropping;
        return false;
    }
    message[length++] = byte;
    return byte == SysExEnd;
}
