#pragma once

// main() of a test program that draws: listing the tests needs no display, running them a
// QGuiApplication.
#include <QGuiApplication>

#include <cstdlib>

#include <gtest/gtest.h>

namespace quorvel::testing {

// Pictures are drawn on the X display the run provides, by Mesa's software renderer, so that
// they are the same on every machine; a variable set by the caller wins.
inline void useTheTestDisplay() {
    setenv("QT_QPA_PLATFORM", "xcb", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
}

inline int runWithGuiApplication(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    useTheTestDisplay();
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace quorvel::testing
