#pragma once

#include <algorithm>

// How long a JACK period an update asks PipeWire for. At short periods PipeWire drops a message now
// and then, each loss costing a time-out and the retry of a step. A loss now and then is cheaper than a
// longer period; losses that come close together are not, and then the period doubles. A long run of
// answered round trips halves it again, towards the shortest, since the machine's load comes and goes.
class PeriodBackoff
{
public:
    // A second time-out within this many answered round trips at the same period lengthens it: about
    // the round trips of a block's write, which a loss makes start again.
    static constexpr int LossWindow = 512;
    // Answered round trips without a time-out, at a lengthened period, before it is halved again.
    static constexpr int CleanRun = 4096;

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
        cleanTrips = std::min(cleanTrips + 1, CleanRun);
        return frames > shortest && cleanTrips == CleanRun ? change(std::max(frames / 2, shortest)) : 0;
    }

    unsigned timedOut()
    {
        if (lostOnce && cleanTrips < LossWindow && frames < longest)
            return change(std::min(2 * frames, longest));
        lostOnce = true;
        cleanTrips = 0;
        return 0;
    }

private:
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
    int cleanTrips = 0;
    bool lostOnce = false;
};
