#pragma once

#include <algorithm>
#include <cstdint>

// How long a JACK period an update asks PipeWire for. PipeWire drops the messages of a cycle that a
// client did not finish in time, which short periods on a busy machine make frequent; each loss costs
// a time-out and the retry of a step. Losses that come close together cost more than a period twice
// as long, and then the period doubles. A long run of answered round trips halves it again, since the
// machine's load comes and goes; a shorter period that loses answers again at once is tried ever more
// rarely. Both are counted in round trips scaled to about the same time at every period, so that
// losses that no period prevents (a busy moment of the machine) neither drive the period ever longer
// nor keep it long for minutes after.
class PeriodBackoff
{
public:
    // A second time-out within this many answered round trips at the shortest period lengthens it. A loss
    // costs about as many at 64 frames per cycle: its 2.5 s time-out and the half of a block's write that
    // it redoes on average.
    static constexpr int LossWindow = 4096;
    // Answered round trips without a time-out, at the shortest period, that a lengthened period needs
    // before it is halved again; doubled, up to the longest, each time a halved period was lengthened again.
    static constexpr int FirstCleanRun = 4096;
    static constexpr int LongestCleanRun = 1 << 20;
    static_assert(FirstCleanRun >= LossWindow, "a clean run outlasts the loss window");

    // An update that starts at `shortest` frames per cycle and may go up to `longest`; { } for none.
    explicit PeriodBackoff(unsigned shortest = 0, unsigned longest = 0)
        : shortest(shortest)
        , longest(longest)
        , frames(shortest)
    {
    }

    // Each returns the frames per cycle to ask for now, or 0 to keep the period.
    unsigned answered()
    {
        // Counted no further than needed, so a long run cannot overflow.
        cleanTrips = std::min(cleanTrips + 1, cleanRunNeeded());
        if (cleanTrips < cleanRunNeeded())
            return 0;
        // A clean run proves a halved period as well.
        halved = frames > shortest;
        return halved ? change(std::max(frames / 2, shortest)) : 0;
    }

    unsigned timedOut()
    {
        if (frames < longest && lostOnce && cleanTrips < sameTime(LossWindow)) {
            if (halved)
                cleanRun = std::min(2 * cleanRun, LongestCleanRun);
            halved = false;
            return change(std::min(2 * frames, longest));
        }
        lostOnce = true;
        cleanTrips = 0;
        return 0;
    }

    // Answered round trips that the period in force needs before it is halved.
    int cleanRunNeeded() const { return sameTime(cleanRun); }

private:
    // Round trips at the period in force that take about as long as `trips` at the shortest: losses
    // that a longer period does not prevent come about as often per second at every period.
    int sameTime(int trips) const
    {
        return frames > shortest ? int(std::uint64_t(trips) * shortest / frames) : trips;
    }

    unsigned change(unsigned to)
    {
        frames = to;
        cleanTrips = 0;
        lostOnce = false;
        return to;
    }

    unsigned shortest;
    unsigned longest;
    unsigned frames;
    int cleanRun = FirstCleanRun;
    int cleanTrips = 0;
    bool lostOnce = false;
    // Whether the period was halved and has not yet run a clean run since.
    bool halved = false;
};
