#pragma once

#include "MidiApi.h"

// The period of the JACK server that an output is on. A request and its answer take at least one cycle
// each way, so the period bounds how fast an update can go. PipeWire's JACK server runs a desktop's
// graph at 1,024 frames (21 ms) by default, and there a client may ask for a shorter one: PipeWire
// forces the graph to it for as long as the client lives or until it asks again. On jackd the same call
// would change the period of every program on the server, so it is never asked there.
struct JackPeriod
{
    bool pipeWire = false;
    // Frames per cycle and per second; 0 when the output is not on JACK.
    unsigned frames = 0;
    unsigned rate = 0;

    double milliseconds() const { return rate ? 1000.0 * frames / rate : 0.0; }
};

JackPeriod midiOutJackPeriod(HMIDIOUT handle);
// PipeWire only: asks for `frames` per cycle and waits a moment for the graph to take it; the period
// then. On any other server it changes nothing.
JackPeriod midiOutAskJackPeriod(HMIDIOUT handle, unsigned frames);
