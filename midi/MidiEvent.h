#pragma once

#include "MidiApi.h"

#include <QEvent>

#include <atomic>
#include <cstdint>

// Carries one filled receive buffer from the MIDI notification thread to the window. The buffer is
// the event's until the window takes it; an event destroyed untaken (its receiver went away first)
// releases the buffer, so nothing leaks. The header is handed over through an atomic so that the
// buffer's bytes are visible to the taker however the event travelled.
class MidiEvent : public QEvent
{
public:
    static constexpr QEvent::Type MidiEventType = QEvent::Type(QEvent::User);

    // arrival numbers the received messages of a port from 1, in the order the input delivered them.
    MidiEvent(MIDIHDR *filled, std::uint64_t arrival);
    ~MidiEvent() override;

    // Hands the buffer over to the caller, who releases it.
    MIDIHDR *takeHeader();

    std::atomic<MIDIHDR *> header;
    const std::uint64_t arrival;
};
