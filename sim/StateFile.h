#pragma once

#include <string>

class SimulatedUnit;

// Keeps a simulated unit's NAND between runs. Only programmed pages are stored, each as its block, its
// page and the 2096 bytes it holds, so a NAND with one image takes a few megabytes. The flat dump of
// the data area is for comparison with what the updater should have written.
class StateFile
{
public:
    enum class Loaded { Pages, Missing, Damaged };

    // Puts the stored pages into the unit's NAND; a file that does not exist leaves the NAND erased. A
    // page stored more than once takes its last record, and `warning` says so.
    static Loaded load(
        const std::string &path, SimulatedUnit &unit, int &pages, std::string &error, std::string &warning);

    // Whether save and writeDump will be able to write `path`; says why not, so that a unit can refuse
    // to start rather than lose its NAND at the end.
    static bool canWrite(const std::string &path, std::string &error);

    // Both write a new file beside the old one and then replace it, so a reader never sees half a file.
    static bool save(const std::string &path, const SimulatedUnit &unit, std::string &error);
    static bool writeDump(const std::string &path, const SimulatedUnit &unit, std::string &error);
};
