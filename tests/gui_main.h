#pragma once

// main() of a test program that draws: listing the tests needs no display, running them a
// QGuiApplication.
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace quorvel::testing {

inline int runWithGuiApplication(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace quorvel::testing
