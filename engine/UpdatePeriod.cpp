#include "NandGeometry.h"
#include "UpdateEngine.h"

#include <algorithm>

namespace {

// PipeWire's graph at 64 frames: 1.3 ms per cycle, short enough for an update, long enough for the
// desktop's sound to go on.
constexpr unsigned ShortFrames = 64;
// Where losses come though the cycles are long enough, they come about as often per second at every
// period (measured here from 128 to 1,024 frames), and a longer period only makes each block slower.
constexpr unsigned LongestFrames = 4 * ShortFrames;
// A page costs one round trip per piece, one to open it and one to program it, and one per piece read
// back when verified.
constexpr int WriteTripsPerPage = Frame::LastPiece + 1 + 2;
constexpr int ReadTripsPerPage = Nand::PageDataSize / Engine::ReadPieceSize;
constexpr double MillisecondsPerSecond = 1000.0;
constexpr double SecondsPerMinute = 60.0;
constexpr double MinutesShown = 2.0;

} // namespace

void UpdateEngine::askShortPeriod()
{
    const JackPeriod found = link.port.jackPeriod();
    if (found.frames <= ShortFrames)
        return;
    JackPeriod period = found;
    if (found.pipeWire) {
        logProgress(
            tr("MIDI: PipeWire's JACK server, %1 frames per cycle (%2 ms): asking for %3 frames during "
               "the update")
                .arg(found.frames)
                .arg(found.milliseconds(), 0, 'f', 0)
                .arg(ShortFrames));
        period = link.port.askJackPeriod(ShortFrames);
        periodToRestore = found.frames;
        if (period.frames <= ShortFrames) {
            periodBackoff = PeriodBackoff(ShortFrames, std::min(found.frames, LongestFrames));
            return;
        }
    }
    // At least one cycle per round trip: an estimate the person can plan with.
    const int pages = (imageSize + Nand::PageDataSize - 1) / Nand::PageDataSize;
    const double seconds = double(pages) * (WriteTripsPerPage + (verifyPass ? ReadTripsPerPage : 0))
        * period.milliseconds() / MillisecondsPerSecond;
    const QString duration = seconds < MinutesShown * SecondsPerMinute
        ? tr("%1 s").arg(seconds, 0, 'f', 0)
        : tr("%1 min").arg(seconds / SecondsPerMinute, 0, 'f', 0);
    logProgress(tr("MIDI: the JACK server runs %1 frames per cycle (%2 ms) and does not go shorter for this "
                   "program; at one round trip per cycle this update takes at least %3")
                    .arg(period.frames)
                    .arg(period.milliseconds(), 0, 'f', 1)
                    .arg(duration));
}

void UpdateEngine::lengthenPeriod()
{
    if (const unsigned frames = periodBackoff.timedOut())
        logProgress(tr("MIDI: two answers lost close together; the JACK server now runs %1 frames per cycle")
                        .arg(link.port.askJackPeriod(frames).frames));
}

void UpdateEngine::shortenPeriod()
{
    const int cleanRun = periodBackoff.cleanRunNeeded();
    if (const unsigned frames = periodBackoff.answered())
        logProgress(tr("MIDI: %1 round trips answered in a row; the JACK server now runs %2 frames per cycle")
                        .arg(cleanRun)
                        .arg(link.port.askJackPeriod(frames).frames));
}

void UpdateEngine::restorePeriod()
{
    if (!periodToRestore)
        return;
    const JackPeriod period = link.port.askJackPeriod(periodToRestore);
    logProgress(tr("MIDI: the JACK server is back at %1 frames per cycle").arg(period.frames));
    periodToRestore = 0;
    periodBackoff = PeriodBackoff();
}
