#include "MidiEvent.h"

#include "MidiPort.h"

MidiEvent::MidiEvent(MIDIHDR *filled, std::uint64_t arrival)
    : QEvent(MidiEventType)
    , arrival(arrival)
{
    header.store(filled, std::memory_order_release);
}

MidiEvent::~MidiEvent()
{
    if (MIDIHDR *untaken = takeHeader())
        MidiPort::releaseInputBuffer(untaken);
}

MIDIHDR *MidiEvent::takeHeader()
{
    // Only the GUI thread takes, so a load and a store do; the acquiring load pairs with the
    // constructor's release.
    MIDIHDR *taken = header.load(std::memory_order_acquire);
    header.store(nullptr, std::memory_order_relaxed);
    return taken;
}
