#pragma once

// The program's command line: without options it opens the window; with them it updates a unit in
// batch mode, lists the MIDI ports or says what it is.
namespace CommandLine {

// Whether the arguments ask for the command line rather than the window. Arguments that are not the
// program's own (Qt's -style, -platform and the like) leave them to the window.
bool wanted(int argc, char *argv[]);

// Runs what the command line asks for and returns the exit status; prepares the application itself.
int run(int argc, char *argv[]);

} // namespace CommandLine
