#include <gtest/gtest.h>

#include <QApplication>

// Qt's off-screen platform keeps its screen objects until the process ends. Whole allocation stacks
// are needed to tell those apart from the program's own leaks.
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0:detect_leaks=1";
}

extern "C" const char *__lsan_default_options()
{
    return "print_suppressions=0";
}

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:QGuiApplicationPrivate::createPlatformIntegration\n";
}

// Every suite runs inside an application object, as the program does; windows stay off screen.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The programs follow the desktop's language; the tests, and the programs they start, expect English.
    qunsetenv("LANGUAGE");
    qputenv("LC_ALL", "C.UTF-8");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
