#include "learn/q_learner.h"

#include "common/random.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

class WeightFile : public ::testing::Test {
  protected:
    void SetUp() override {
        random::restart();
        learner = std::make_unique<QLearner>();
    }

    std::string path(const std::string& name) const { return folder.file(name); }
    static std::string read(const std::string& p) { return testing::readFile(p); }
    static void write(const std::string& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }
    std::vector<double> parameters() const { return testing::parametersOf(learner->network); }
    void fill(double value) {
        for (int i = 0; i < QNetwork::parameterCount; ++i) {
            learner->network.parameter(i) = value;
        }
    }

    testing::TempFolder folder{"quorvel-weights"};
    const fs::path& dir = folder.path();
    std::unique_ptr<QLearner> learner;
};

TEST_F(WeightFile, ExactBytesOfAKnownNetwork) {
    fill(0);
    QNetwork& n = learner->network;
    n.output.weights[0][5] = 0.25; // bias, written first
    n.output.weights[0][0] = -0.5;
    n.output.weights[0][2] = 1;
    n.output.weights[0][3] = -1;
    n.output.weights[0][4] = 0.125;
    n.hidden1.weights[0][29] = 12;
    n.hidden1.weights[0][0] = 1234567.125;
    ASSERT_TRUE(learner->saveWeights(path("w.nnet").c_str()));
    const std::string text = read(path("w.nnet"));

    std::string expected = "12.000000, 1234567.125000| ";
    for (int i = 1; i < 29; ++i) {
        expected += "0.000000| ";
    }
    for (int unit = 1; unit < 15 + 5; ++unit) {
        expected += "0.000000, ";
        for (int i = 0; i < (unit < 15 ? 29 : 15); ++i) {
            expected += "0.000000| ";
        }
    }
    expected += "0.250000, -0.500000| 0.000000| 1.000000| -1.000000| 0.125000| ";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 21);
    EXPECT_EQ(std::count(text.begin(), text.end(), '|'), 536 - 21);
    EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST_F(WeightFile, RoundTripToSixDecimalsAndByteIdenticalResave) {
    learner->network.hidden2.weights[1][3] = 0.1234567;
    learner->network.hidden2.weights[1][4] = -0.0000004;
    ASSERT_TRUE(learner->saveWeights(path("a.nnet").c_str()));
    ASSERT_TRUE(learner->saveWeights(path("b.nnet").c_str()));
    EXPECT_EQ(read(path("a.nnet")), read(path("b.nnet")));

    const auto original = parameters();
    fill(0.5);
    ASSERT_TRUE(learner->loadWeights(path("a.nnet").c_str()));
    const auto loaded = parameters();
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        ASSERT_NEAR(loaded[i], original[i], 5e-7) << i;
    }
    EXPECT_EQ(learner->network.hidden2.weights[1][3], 0.123457);
    EXPECT_EQ(learner->network.hidden2.weights[1][4], 0);
    ASSERT_TRUE(learner->saveWeights(path("c.nnet").c_str()));
    EXPECT_EQ(read(path("a.nnet")), read(path("c.nnet")));
}

TEST_F(WeightFile, NumbersSeparatedBySingleSpacesLoad) {
    std::string text;
    for (int i = 0; i < 536; ++i) {
        text += std::to_string(i) + ".5 ";
    }
    write(path("spaces.txt"), text);
    ASSERT_TRUE(learner->loadWeights(path("spaces.txt").c_str()));
    EXPECT_EQ(learner->network.hidden1.weights[0][29], 0.5); // the bias comes first
    EXPECT_EQ(learner->network.hidden1.weights[0][0], 1.5);
    EXPECT_EQ(learner->network.hidden1.weights[1][29], 30.5);
    EXPECT_EQ(learner->network.output.weights[0][4], 535.5);
}

TEST_F(WeightFile, NonFiniteValuesLoadBackAsSaved) {
    learner->network.hidden1.weights[2][2] = std::numeric_limits<double>::infinity();
    learner->network.hidden1.weights[2][3] = -std::numeric_limits<double>::infinity();
    learner->network.hidden1.weights[2][4] = std::numeric_limits<double>::quiet_NaN();
    learner->network.hidden1.weights[2][5] = -std::numeric_limits<double>::quiet_NaN();
    ASSERT_TRUE(learner->saveWeights(path("w.nnet").c_str()));
    // A NaN's sign is not the arithmetic's to fix: every NaN is written "nan".
    EXPECT_NE(read(path("w.nnet")).find("inf| -inf| nan| nan| "), std::string::npos);
    fill(0);
    ASSERT_TRUE(learner->loadWeights(path("w.nnet").c_str()));
    const auto& row = learner->network.hidden1.weights[2];
    EXPECT_EQ(row[2], std::numeric_limits<double>::infinity());
    EXPECT_EQ(row[3], -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(row[4]) && !std::signbit(row[4]));
    EXPECT_TRUE(std::isnan(row[5]));
    ASSERT_TRUE(learner->saveWeights(path("again.nnet").c_str()));
    EXPECT_EQ(read(path("w.nnet")), read(path("again.nnet")));
}

TEST_F(WeightFile, RefusedLoadsLeaveTheNetworkAsItWas) {
    const auto original = parameters();
    ASSERT_TRUE(learner->saveWeights(path("full.nnet").c_str()));
    const std::string full = read(path("full.nnet"));

    auto result = learner->loadWeights(path("missing.nnet").c_str());
    EXPECT_EQ(result.status, WeightFileResult::Status::cannotOpen);

    // Only the first 30 numbers.
    std::size_t cut = 0;
    for (int spaces = 0; spaces < 30; ++spaces) {
        cut = full.find(' ', cut) + 1;
    }
    write(path("short.nnet"), full.substr(0, cut));
    fill(0.25);
    result = learner->loadWeights(path("short.nnet").c_str());
    EXPECT_EQ(result.status, WeightFileResult::Status::tooFewNumbers);
    EXPECT_EQ(result.count, 30);
    EXPECT_EQ(parameters(), std::vector<double>(536, 0.25));

    // A folder.
    result = learner->loadWeights(dir.c_str());
    EXPECT_EQ(result.status, WeightFileResult::Status::notAFile);
    EXPECT_EQ(parameters(), std::vector<double>(536, 0.25));

    // A token that is not a number as entry 4.
    std::size_t fourth = 0;
    for (int spaces = 0; spaces < 3; ++spaces) {
        fourth = full.find(' ', fourth) + 1;
    }
    write(path("bad.nnet"), full.substr(0, fourth) + "abc| " + full.substr(fourth));
    result = learner->loadWeights(path("bad.nnet").c_str());
    EXPECT_EQ(result.status, WeightFileResult::Status::notANumber);
    EXPECT_EQ(result.count, 4);
    EXPECT_EQ(parameters(), std::vector<double>(536, 0.25));

    // A number too large for a double is refused ("inf" itself is a weight saved so).
    write(path("huge.nnet"), full.substr(0, fourth) + "1e309| " + full.substr(fourth));
    result = learner->loadWeights(path("huge.nnet").c_str());
    EXPECT_EQ(result.status, WeightFileResult::Status::outOfRange);
    EXPECT_EQ(result.count, 4);
    EXPECT_EQ(parameters(), std::vector<double>(536, 0.25));
    write(path("tiny.nnet"), full.substr(0, fourth) + "1e-400| " + full.substr(fourth));
    EXPECT_TRUE(learner->loadWeights(path("tiny.nnet").c_str())); // underflows to 0: a number

    write(path("empty.nnet"), "");
    result = learner->loadWeights(path("empty.nnet").c_str());
    EXPECT_EQ(result.status, WeightFileResult::Status::tooFewNumbers);
    EXPECT_EQ(result.count, 0);

    ASSERT_TRUE(learner->loadWeights(path("full.nnet").c_str()));
    for (int i = 0; i < 536; ++i) {
        ASSERT_NEAR(parameters()[i], original[i], 5e-7);
    }
}

TEST_F(WeightFile, AnyValidNameSavesAndAFailedCreateKeepsTheOldFile) {
    // The longest name a folder allows: its temporary neighbour has a short name of its own.
    const std::string longest(255, 'w');
    ASSERT_TRUE(learner->saveWeights(path(longest).c_str()));
    auto reloaded = std::make_unique<QLearner>();
    ASSERT_TRUE(reloaded->loadWeights(path(longest).c_str()));
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        ASSERT_NEAR(reloaded->network.parameter(i), learner->network.parameter(i), 5e-7);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
    EXPECT_EQ(learner->saveWeights(path(longest + "w").c_str()).status,
              WeightFileResult::Status::cannotOpen);

    // No file can be opened: the temporary cannot be created and the old file stays.
    write(path("keep.nnet"), "0.5 0.5 0.5 ");
    const auto result =
        testing::withOpenFileLimit([&] { return learner->saveWeights(path("keep.nnet").c_str()); });
    EXPECT_EQ(result.status, WeightFileResult::Status::cannotOpen);
    EXPECT_EQ(read(path("keep.nnet")), "0.5 0.5 0.5 ");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 2);

    EXPECT_FALSE(learner->saveWeights((dir / "no-such-folder" / "w.nnet").c_str()));
    EXPECT_FALSE(learner->saveWeights((dir / "keep.nnet" / "w.nnet").c_str()));
    EXPECT_FALSE(learner->saveWeights(""));
}

TEST_F(WeightFile, WriteErrorIsReportedAndNothingIsReplaced) {
    ASSERT_TRUE(learner->saveWeights(path("keep.nnet").c_str()));
    const std::string before = read(path("keep.nnet"));
    fill(0.75);
    // A file-size limit far below the file's size makes the writes fail part-way.
    const auto result = testing::withFileSizeLimit(
        100, [&] { return learner->saveWeights(path("keep.nnet").c_str()); });
    EXPECT_EQ(result.status, WeightFileResult::Status::writeFailed);
    EXPECT_EQ(read(path("keep.nnet")), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

TEST_F(WeightFile, SavedFileKeepsTheOldFilesPermissionsAndANewOneTheUsers) {
    write(path("p.nnet"), "old");
    chmod(path("p.nnet").c_str(), 0640);
    const mode_t mask = umask(027);
    const bool replaced = static_cast<bool>(learner->saveWeights(path("p.nnet").c_str()));
    const bool created = static_cast<bool>(learner->saveWeights(path("new.nnet").c_str()));
    umask(mask);
    ASSERT_TRUE(replaced && created);
    struct stat st;
    ASSERT_EQ(stat(path("p.nnet").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(stat(path("new.nnet").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // 0666 less the user's mask, not the temporary's 0600
    // A file nobody may write is kept, and the save says so.
    write(path("kept.nnet"), "kept");
    chmod(path("kept.nnet").c_str(), 0444);
    const WeightFileResult refused = learner->saveWeights(path("kept.nnet").c_str());
    EXPECT_EQ(refused.status, WeightFileResult::Status::readOnly);
    EXPECT_EQ(describeWeightFileResult(refused, "kept.nnet", true),
              "\"kept.nnet\" is read-only; it was kept, and the weights were not saved.");
    EXPECT_EQ(testing::readFile(path("kept.nnet")), "kept");
}

TEST_F(WeightFile, CommaLocaleDoesNotChangeTheFormat) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5"); // the locale really uses a comma
    learner->network.output.weights[0][5] = 0.25;
    const bool ok = static_cast<bool>(learner->saveWeights(path("de.nnet").c_str()));
    const auto original = parameters();
    fill(0);
    const bool loaded = static_cast<bool>(learner->loadWeights(path("de.nnet").c_str()));
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(ok);
    ASSERT_TRUE(loaded);
    const std::string text = read(path("de.nnet"));
    EXPECT_NE(text.find("0.250000, "), std::string::npos);
    for (int i = 0; i < 536; ++i) {
        ASSERT_NEAR(parameters()[i], original[i], 5e-7);
    }
}

// Loads from a pipe whose writing end stays open, as a stream that has not ended would: the
// load must finish on what it was given. Fails instead of hanging when it does not.
WeightFileResult loadFromOpenPipe(QLearner& learner, const std::string& text) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    EXPECT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    auto loading = std::async(std::launch::async, [&] {
        return learner.loadWeights(("/proc/self/fd/" + std::to_string(ends[0])).c_str());
    });
    const bool finished = loading.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(finished) << "the load waited for more than it needed";
    close(ends[1]); // lets a waiting load see the end
    const WeightFileResult result = loading.get();
    close(ends[0]);
    return result;
}

TEST_F(WeightFile, ReadsNoFurtherThanItNeeds) {
    // The last number's separator has begun but not ended: nothing more is needed.
    std::string numbers;
    for (int i = 0; i < 535; ++i) {
        numbers += "0.5 ";
    }
    numbers += "0.5|";
    const auto loaded = loadFromOpenPipe(*learner, numbers);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(parameters(), std::vector<double>(536, 0.5));
    // Numbers on lines of their own: the first one's separator never reaches a space.
    std::string lines;
    for (int i = 0; i < 3000; ++i) {
        lines += "1\n";
    }
    const auto refused = loadFromOpenPipe(*learner, lines);
    EXPECT_EQ(refused.status, WeightFileResult::Status::noSeparator);
    EXPECT_EQ(refused.count, 1);
    EXPECT_EQ(parameters(), std::vector<double>(536, 0.5));
}

TEST_F(WeightFile, SavesThroughLinksAndIntoDevicesWithoutReplacingThem) {
    ASSERT_TRUE(learner->saveWeights(path("plain.nnet").c_str()));
    const std::string text = read(path("plain.nnet"));

    // A link, relative or absolute, and one whose file does not exist yet.
    fs::create_directory(dir / "kept");
    fs::create_symlink("kept/real.nnet", dir / "relative.nnet");
    fs::create_symlink(dir / "kept" / "other.nnet", dir / "absolute.nnet");
    write(path("kept/real.nnet"), "old");
    for (const char* name : {"relative.nnet", "absolute.nnet"}) {
        ASSERT_TRUE(learner->saveWeights(path(name).c_str())) << name;
        EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
    }
    EXPECT_EQ(read(path("kept/real.nnet")), text);
    EXPECT_EQ(read(path("kept/other.nnet")), text);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "kept"), fs::directory_iterator{}), 2);

    // A character device stays one.
    ASSERT_TRUE(learner->saveWeights("/dev/null"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // A FIFO is written through, to whoever reads it.
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    auto reader = std::async(std::launch::async, [&] { return read(path("fifo")); });
    ASSERT_TRUE(learner->saveWeights(path("fifo").c_str()));
    EXPECT_EQ(reader.get(), text);
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
}

TEST_F(WeightFile, StaleTemporariesOfKilledSavesAreRemoved) {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0); // a process that has gone
    const std::string prefix = ".quorvel-tmp-";
    const std::string dead = prefix + std::to_string(child) + "-" + host + "-a1b2c3";
    const std::string live = prefix + std::to_string(getpid()) + "-" + host + "-d4e5f6";
    const std::string parent = prefix + std::to_string(getppid()) + "-" + host + "-m3n4o5";
    const std::string elsewhereFresh = prefix + "123-elsewhere-g7h8i9";
    const std::string elsewhereOld = prefix + "123-elsewhere-j0k1l2";
    for (const std::string& name : {dead, live, parent, elsewhereFresh, elsewhereOld,
                                    std::string("notes.txt"), prefix + "x"}) {
        write(path(name), "partial");
    }
    fs::last_write_time(dir / elsewhereOld,
                        fs::file_time_type::clock::now() - std::chrono::hours(48));
    ASSERT_TRUE(learner->saveWeights(path("w.nnet").c_str()));
    EXPECT_FALSE(fs::exists(dir / dead));
    EXPECT_FALSE(fs::exists(dir / elsewhereOld));
    for (const std::string& name :
         {live, parent, elsewhereFresh, std::string("notes.txt"), prefix + "x"}) {
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    }
}

TEST(WeightFileMessages, DescribeEveryFailure) {
    using S = WeightFileResult::Status;
    EXPECT_EQ(describeWeightFileResult({S::ok, 0}, "w", true), "");
    EXPECT_EQ(describeWeightFileResult({S::tooFewNumbers, 30}, "w.nnet", false),
              "\"w.nnet\" holds only 30 of the 536 numbers of a weight file; the network was "
              "not changed.");
    EXPECT_EQ(describeWeightFileResult({S::notANumber, 4}, "w.nnet", false),
              "Entry 4 of \"w.nnet\" is not a number; the network was not changed.");
    EXPECT_EQ(describeWeightFileResult({S::outOfRange, 4}, "w.nnet", false),
              "Entry 4 of \"w.nnet\" is too large for a number; the network was not changed.");
    EXPECT_NE(describeWeightFileResult({S::cannotOpen, 0}, "w", true).find("not saved"),
              std::string::npos);
    EXPECT_NE(describeWeightFileResult({S::cannotOpen, 0}, "w", false).find("not loaded"),
              std::string::npos);
    EXPECT_EQ(describeWeightFileResult({S::notAFile, 0}, "dir", false),
              "Could not open \"dir\" as a file: it is a folder; the weights were not loaded.");
    EXPECT_EQ(describeWeightFileResult({S::noSeparator, 1}, "w", false),
              "\"w\" is not a weight file: no space follows entry 1 within 4096 characters; the "
              "network was not changed.");
}

} // namespace
} // namespace quorvel
