// The entry of every test program. Before any test runs, the user's folders point into a
// temporary folder, so that no test can read or write the real home folder even by mistake.
// Programs that test Qt objects get an application object and its event loop as well.
#include "tests/support/temporary_folder.h"

#include <gtest/gtest.h>

#if defined(SORVIK_TEST_WITH_WIDGETS)
#include <QApplication>
#elif defined(SORVIK_TEST_WITH_QT)
#include <QCoreApplication>
#endif

int main(int argc, char** argv)
{
    sorvik::testing::IsolatedHome home;
    ::testing::InitGoogleTest(&argc, argv);
#if defined(SORVIK_TEST_WITH_WIDGETS)
    // Tests never show windows, also when run outside CTest (test discovery runs the
    // program right after linking, without CTest's environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
#elif defined(SORVIK_TEST_WITH_QT)
    QCoreApplication application(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
