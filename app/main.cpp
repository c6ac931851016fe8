#include "CommandLine.h"
#include "MainWindow.h"
#include "Startup.h"

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

int main(int argc, char *argv[])
{
    if (CommandLine::wanted(argc, argv))
        return CommandLine::run(argc, argv);

    QTranslator programTranslator;
    QTranslator frameworkTranslator;
    Startup::scaleWithTheScreen();
    Startup::prepareApplication();
    QApplication application(argc, argv);
    Startup::fitFontToForm();
    Startup::setApplicationIcon();
    QSettings settings;
    Startup::installTranslators(settings, QLocale::system(), programTranslator, frameworkTranslator);

    int exitCode = 0;
    {
        // Destroyed before the settings and the application; its DeviceLink closes the MIDI ports.
        MainWindow window;
        window.logBuildIdentity();
        window.VerifyCheckBox->setChecked(Startup::verifyAfterWriting(settings));
        Startup::showWindow(window);
        exitCode = application.exec();
    }
    return exitCode;
}
