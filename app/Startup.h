#pragma once

class MainWindow;
class QLocale;
class QSettings;
class QTranslator;

// The steps of start-up that main shares with the tests and the screenshot tool.
namespace Startup {

constexpr int WindowWidth = 922;
constexpr int WindowHeight = 322;

// Names the settings and chooses the style; called before the application object exists, so that
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
