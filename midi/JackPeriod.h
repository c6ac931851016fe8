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
// PipeWire only: asks for `frames` per cycle and waits until the clients of `output` and `input` (which
// may be null) run it; the period then. pipewire-jack skips a client's cycles from the change until the
// client has taken the new period on its own thread, and a message that reaches it meanwhile is lost. On
// any other server it changes nothing.
JackPeriod midiAskJackPeriod(HMIDIOUT output, HMIDIIN input, unsigned frames);
