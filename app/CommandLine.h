#pragma once

// The program's command line: without options it opens the window; with them it updates a unit in
// batch mode, lists the MIDI ports or says what it is.
namespace CommandLine {

// Whether the arguments ask for the command line rather than the window: one of the program's own
// options, or any other with two dashes, which the command line refuses as a usage error rather than
// the window ignoring it. Qt's single-dash options (-style, -platform and the like) go to the window.
bool wanted(int argc, char *argv[]);

// Runs what the command line asks for and returns the exit status; prepares the application itself.
int run(int argc, char *argv[]);

} // namespace CommandLine
