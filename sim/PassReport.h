#pragma once

#include "NandCheck.h"
#include "SimulatedUnit.h"

#include <string>
#include <vector>

// The log lines that close a pass of the standalone unit: one per kind of command received, then a
// summary of pages, blocks, bad blocks and the errors found in what the updater sent.
class PassReport
{
public:
    enum class End { Finished, Abandoned, Interrupted };

    struct Figures
    {
        int number = 0;
        End end = End::Finished;
        SimulatedUnit::Stats before; // the unit's counters just before the pass's CMD_RESET_NAND
        SimulatedUnit::Stats after;
        int errors = 0;
        int randomLosses = 0; // replies lost at random on top of the unit's own reply faults
        double seconds = 0;
        NandCheck::List list; // the last bad-block list in block 0 after the pass
    };

    static std::vector<std::string> lines(const Figures &figures);
};
