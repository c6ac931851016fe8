#pragma once

class MainWindow;
class QLocale;
class QSettings;
class QTranslator;

// The steps of start-up that main shares with the tests and the screenshot tool.
namespace Startup {

constexpr int WindowWidth = 922;
constexpr int WindowHeight = 322;

// The form places every widget at fixed pixels: on a high-density screen only a scale of the whole
// window by the screen's factor keeps its texts whole. Qt 6 scales so by default; Qt 5 only when told
// before the application object exists, so this comes first. Each keeps its own rounding: Qt 6 scales
// by 1.5 at 150 %, which every text fits; Qt 5 rounds, so that a screen of 192 dpi measured as 191.8
// still gets exactly 2.
void scaleWithTheScreen();

// Names the settings and the program for QCoreApplication, as every face needs.
void nameApplication();

// Names as above and chooses the style; called before the application object exists, so that
// every widget is created in that style. Without the style's plugin, Fusion with Plastique's frames.
void prepareApplication();

// The form places every widget at a fixed size laid out for 8-point text; a larger desktop default
// would cut texts such as "try to connect..." short, so the application font is kept at 8 points at most.
// Called once the application object exists, before the window is built.
void fitFontToForm();

// Reads the stored language once: 1 is German, any other value English; without one, the desktop's
// language decides. For German loads both catalogues (a catalogue that does not load stays empty) and
// installs them. Returns whether they were installed.
bool installTranslators(
    const QSettings &settings, const QLocale &desktop, QTranslator &program, QTranslator &framework);

// Reads the stored "verify" once: unless it is 0, a pass reads back everything it writes.
bool verifyAfterWriting(const QSettings &settings);

// Gives every window the program's icon, the same one the desktop shows, at the four sizes it is drawn
// in. Called once the application object exists.
void setApplicationIcon();

// Shows the window at its one fixed size and initialises it; its log says when Plastique is missing.
void showWindow(MainWindow &window);

} // namespace Startup
