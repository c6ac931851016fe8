#include "MidiEvent.h"

#include "MidiPort.h"

#include <utility>

MidiEvent::MidiEvent(MIDIHDR *filled)
    : QEvent(MidiEventType)
    , header(filled)
{
}

MidiEvent::~MidiEvent()
{
    if (header)
        MidiPort::releaseInputBuffer(header);
}

MIDIHDR *MidiEvent::takeHeader()
{
    return std::exchange(header, nullptr);
}
