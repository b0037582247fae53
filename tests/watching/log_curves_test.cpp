#include "watching/log_curves.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace quorvel {
namespace {

// Plots name every log apart: by its file name; a sweep's logs, all "eval.dat", by their
// folders; otherwise by as much of their paths as tells them apart.
TEST(LogNames, DistinctLogsGetDistinctNames) {
    using Paths = std::vector<std::string>;
    EXPECT_EQ(distinctLogNames({"a/run1.dat", "b/run2.dat"}), (Paths{"run1.dat", "run2.dat"}));
    EXPECT_EQ(distinctLogNames({"sweep/seed-1/eval.dat", "sweep/seed-2/eval.dat"}),
              (Paths{"seed-1", "seed-2"}));
    EXPECT_EQ(distinctLogNames({"x/seed-1/eval.dat", "y/seed-1/eval.dat"}),
              (Paths{"x/seed-1/eval.dat", "y/seed-1/eval.dat"}));
    EXPECT_EQ(distinctLogNames({"one/a.dat", "one/b/a.dat", "two/b.dat"}),
              (Paths{"one/a.dat", "b/a.dat", "two/b.dat"}));
    EXPECT_EQ(distinctLogNames({"/abs/only.dat"}), (Paths{"only.dat"}));
    // Whatever the paths, as long as they differ, so do their names.
    const Paths mixed = {"a/b/c/eval.dat", "a/c/b/eval.dat", "b/c/eval.dat",
                         "c/eval.dat",     "eval.dat",       "a/b/c/e.dat"};
    const Paths names = distinctLogNames(mixed);
    ASSERT_EQ(names.size(), mixed.size());
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), mixed.size());
}

TEST(LogNames, CurvesOfSeveralLogsCarryTheirNamesInOrder) {
    testing::TempFolder folder("quorvel-logs");
    for (const char* sub : {"seed-1", "seed-2"}) {
        std::filesystem::create_directories(folder.path() / sub);
        std::ofstream(folder.path() / sub / "eval.dat")
            << (sub[5] == '1' ? "1,1,5,1.0,1.0,1.0, 1.4\n" : "0,0,1,1.0,1.0,1.0, 1.4\n");
    }
    const LogCurves read = readLogCurves({(folder.path() / "seed-2" / "eval.dat").string(),
                                          (folder.path() / "seed-1" / "eval.dat").string()});
    ASSERT_TRUE(read.error.empty()) << read.error;
    ASSERT_EQ(read.curves.size(), 2u);
    EXPECT_EQ(read.curves[0].name, "seed-2");
    EXPECT_EQ(read.curves[0].points.back().collisions, 1);
    EXPECT_EQ(read.curves[1].name, "seed-1");
    EXPECT_EQ(read.curves[1].points.back().goals, 1);
}

} // namespace
} // namespace quorvel
