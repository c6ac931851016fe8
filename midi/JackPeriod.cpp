#include "JackPeriod.h"

#include "MidiDevices.h"

#include <jack/jack.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

// PipeWire changes the quantum within a cycle or two; the longest quantum it runs lasts 170 ms.
constexpr auto SettleLimit = std::chrono::milliseconds(400);
constexpr auto SettleStep = std::chrono::milliseconds(5);

jack_client_t *jackOf(HMIDIOUT handle)
{
    return handle ? handle->jack.handle() : nullptr;
}

// pipewire-jack names itself in its version ("3.0.0.0 (using PipeWire 0.3.65)").
bool serverIsPipeWire()
{
    const char *version = jack_get_version_string();
    return version && std::strstr(version, "PipeWire");
}

} // namespace

JackPeriod midiOutJackPeriod(HMIDIOUT handle)
{
    JackPeriod period;
    if (jack_client_t *client = jackOf(handle)) {
        period.pipeWire = serverIsPipeWire();
        period.frames = jack_get_buffer_size(client);
        period.rate = jack_get_sample_rate(client);
    }
    return period;
}

JackPeriod midiAskJackPeriod(HMIDIOUT output, HMIDIIN input, unsigned frames)
{
    const JackPeriod period = midiOutJackPeriod(output);
    if (!period.pipeWire || period.frames == frames || jack_set_buffer_size(jackOf(output), frames) != 0)
        return period;
    jack_client_t *inputClient = input ? input->jack.handle() : nullptr;
    const auto taken = [&] {
        return jack_get_buffer_size(jackOf(output)) == frames
            && (!inputClient || jack_get_buffer_size(inputClient) == frames);
    };
    const auto limit = std::chrono::steady_clock::now() + SettleLimit;
    while (!taken() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(SettleStep);
    return midiOutJackPeriod(output);
}
