#include "training/evaluation_log.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

TEST(EvaluationLog, LineFormat) {
    EvaluationRecord r;
    r.moved = true;
    r.reached = false;
    r.steps = 37;
    r.lastDistanceSquared = 1234.5;
    r.startX = -3;
    r.startY = 4;
    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(writeEvaluationLine(f, r));
    std::rewind(f);
    char line[200] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    std::fclose(f);
    EXPECT_STREQ(line, "1,0,37,1234.500000,-3.000000,4.000000, 5.000000\n");
}

TEST(EvaluationLog, EndsFromTheLogColumns) {
    EXPECT_EQ(endFromColumns(true, true), DriveEnd::goal);
    EXPECT_EQ(endFromColumns(false, true), DriveEnd::goal);
    EXPECT_EQ(endFromColumns(false, false), DriveEnd::collision);
    EXPECT_EQ(endFromColumns(true, false), DriveEnd::outOfSteps);
}

class LogFile : public ::testing::Test {
  protected:
    void SetUp() override {
        file = fs::temp_directory_path() / ("quorvel-log-" + std::to_string(getpid()) + ".dat");
    }
    void TearDown() override { fs::remove(file); }
    void write(const std::string& text) { std::ofstream(file) << text; }
    fs::path file;
};

TEST_F(LogFile, ReadsEveryLine) {
    write("1,1,12,30.000000,1.000000,2.000000, 2.236068\n"
          "0,0,1,100.000000,-3.000000,4.000000, 5.000000\n"
          "1,0,400,900.000000,0.500000,0.500000, 0.707107\n");
    const EvaluationLog log = readEvaluationLog(file.string());
    EXPECT_TRUE(log.error.empty());
    ASSERT_EQ(log.ends.size(), 3u);
    EXPECT_EQ(log.ends[0], DriveEnd::goal);
    EXPECT_EQ(log.ends[1], DriveEnd::collision);
    EXPECT_EQ(log.ends[2], DriveEnd::outOfSteps);
}

TEST_F(LogFile, NamesTheFirstMalformedLine) {
    const char* bad[] = {"1,1,12,30.0,1.0,2.0\n", "1,2,12,30.0,1.0,2.0, 2.2\n",
                         "1,1,401,30.0,1.0,2.0, 2.2\n", "1,1,12,30.0,1.0,2.0, 2.2 extra\n",
                         "garbage\n"};
    for (const char* line : bad) {
        write(std::string("1,1,12,30.000000,1.000000,2.000000, 2.236068\n") + line);
        const EvaluationLog log = readEvaluationLog(file.string());
        EXPECT_EQ(log.badLine, 2) << line;
        EXPECT_TRUE(log.ends.empty());
        EXPECT_EQ(log.error.rfind("Line 2 of \"", 0), 0u) << log.error;
    }
    EXPECT_FALSE(readEvaluationLog((file.string() + ".missing")).error.empty());
}

// A log of exactly as many lines as a reader takes is read whole; one more is refused. Only a
// regular file is a log: a link to one is followed, a folder or a FIFO is refused by name.
TEST_F(LogFile, TakesARegularFileOfAtMostTheLimitAndNothingElse) {
    const std::string line = "1,0,5,30.000000,1.000000,2.000000, 2.236068\n";
    std::string three;
    for (int i = 0; i < 3; ++i) {
        three += line;
    }
    write(three);
    EXPECT_EQ(readEvaluationLog(file.string(), 3).ends.size(), 3u);
    const EvaluationLog over = readEvaluationLog(file.string(), 2);
    EXPECT_TRUE(over.ends.empty());
    EXPECT_NE(over.error.find("holds more than 2 lines"), std::string::npos) << over.error;
    write(three.substr(0, three.size() - 1)); // the last line without its line break
    EXPECT_EQ(readEvaluationLog(file.string(), 3).ends.size(), 3u);

    const fs::path link = file.string() + ".link";
    fs::create_symlink(file, link);
    EXPECT_EQ(readEvaluationLog(link.string()).ends.size(), 3u);
    fs::remove(link);
    const fs::path folder = file.string() + ".d";
    fs::create_directory(folder);
    EXPECT_NE(readEvaluationLog(folder.string()).error.find("it is a folder"), std::string::npos);
    fs::remove(folder);
    const fs::path fifo = file.string() + ".fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Refused at once: opened to be read, a FIFO would wait for a writer.
    const EvaluationLog fromFifo = readEvaluationLog(fifo.string());
    fs::remove(fifo);
    EXPECT_TRUE(fromFifo.ends.empty());
    EXPECT_NE(fromFifo.error.find("not a regular file"), std::string::npos) << fromFifo.error;
}

} // namespace
} // namespace quorvel
