// The windows' tests run inside a QApplication on a real X server (xvfb-run in scripts/test.sh).
// Listing the tests (CTest's discovery at build time) needs no display, so it makes none.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    testing::InitGoogleTest(&argc, argv);
    if (listing) return RUN_ALL_TESTS();

    // Nothing a test does may reach the user's own settings.
    QTemporaryDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr)
        ::setenv("XDG_RUNTIME_DIR", config.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
