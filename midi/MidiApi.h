#pragma once

// A small multimedia-style MIDI interface: numbered devices, handles, prepared buffer headers and a
// notification function. It is built on RtMidi (the ALSA sequencer), on the JACK API and on in-process
// devices; MidiPort is written against it and never sees either library. The notification comes on a
// thread of the MIDI system, or for JACK on the thread that opened the device, from its event loop:
// JACK's own thread is real-time.

#include <cstddef>
#include <cstdint>

using MMRESULT = unsigned int;
using DWORD_PTR = std::uintptr_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;

// Notification codes.
constexpr unsigned MIM_OPEN = 0x3C1;
constexpr unsigned MIM_CLOSE = 0x3C2;
constexpr unsigned MIM_LONGDATA = 0x3C4;
constexpr unsigned MOM_OPEN = 0x3C7;
constexpr unsigned MOM_CLOSE = 0x3C8;
constexpr unsigned MOM_DONE = 0x3C9;

constexpr std::uint32_t CALLBACK_FUNCTION = 0x30000;

// Header flags.
constexpr std::uint32_t MHDR_DONE = 0x1;
constexpr std::uint32_t MHDR_PREPARED = 0x2;
constexpr std::uint32_t MHDR_INQUEUE = 0x4;

struct MidiInDevice;
struct MidiOutDevice;
using HMIDIIN = MidiInDevice *;
using HMIDIOUT = MidiOutDevice *;

struct MIDIHDR
{
    char *lpData;
    std::uint32_t dwBufferLength;
    std::uint32_t dwBytesRecorded;
    DWORD_PTR dwUser;
    std::uint32_t dwFlags;
};

// Called with: device handle, notification code, instance value given at open, two parameters.
// For MIM_LONGDATA and MOM_DONE the first parameter is the MIDIHDR concerned.
using MidiInProc = void (*)(HMIDIIN, unsigned, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using MidiOutProc = void (*)(HMIDIOUT, unsigned, DWORD_PTR, DWORD_PTR, DWORD_PTR);

MMRESULT midiInOpen(
    HMIDIIN *handle, unsigned deviceId, MidiInProc callback, DWORD_PTR instance, std::uint32_t flags);
MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR *header, unsigned headerSize);
MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR *header, unsigned headerSize);
MMRESULT midiInStart(HMIDIIN handle);
MMRESULT midiInStop(HMIDIIN handle);
MMRESULT midiInReset(HMIDIIN handle);
MMRESULT midiInClose(HMIDIIN handle);
MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR *header, unsigned headerSize);

MMRESULT midiOutOpen(
    HMIDIOUT *handle, unsigned deviceId, MidiOutProc callback, DWORD_PTR instance, std::uint32_t flags);
MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR *header, unsigned headerSize);
MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR *header, unsigned headerSize);
MMRESULT midiOutReset(HMIDIOUT handle);
MMRESULT midiOutClose(HMIDIOUT handle);
MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR *header, unsigned headerSize);
