// Golden trainings: whole runs of quorvel-train whose every output byte is pinned by a
// SHA-256 digest. The weight file and the log keep six decimals, which hide a difference in
// the last bits for a long time; the exact weights (every bit of every parameter) do not, so
// a change to any arithmetic of a training changes some digest.
//
// The digests live in golden/<configuration>.digests. Record them anew only in a commit that
// says why the bytes changed on purpose:
//   QUORVEL_RECORD_GOLDEN=1 build/tests/quorvel_golden_tests
#include "learn/vector_exp.h"
#include "run_trainer.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using quorvel::testing::readFile;

struct Configuration {
    const char* name;
    const char* arguments;
};

void PrintTo(const Configuration& c, std::ostream* out) {
    *out << c.name;
}

// Each covers a different road through the trainer: obstacles or none, with and without
// q-learn, a loaded weight file, a seed, evaluation frequencies above 20 (backups) and
// exactly 20 (none), and the hindsight learner.
const Configuration configurations[] = {
    {"standard", "--obstacles 7 --sides 10 --radius 15 --runs 4000 --eval-freq 50 "
                 "--learning-rate 0.1 --discount 0.9 --annealing 200 --no-q-learn"},
    {"q_learn_seeded", "--obstacles 5 --sides 6 --radius 12 --q-learn --runs 3000 "
                       "--eval-freq 40 --learning-rate 0.2 --discount 0.8 --annealing 100 "
                       "--seed 12345"},
    {"open_field", "--obstacles 0 --sides 3 --radius 5 --runs 600 --eval-freq 20 "
                   "--learning-rate 0.05 --discount 0.95 --annealing 200 --no-q-learn"},
    {"loaded_weights_q_learn",
     "--load-weights {golden}/start.nnet --obstacles 3 --sides 4 --radius 20 "
     "--q-learn --runs 2500 --eval-freq 25 --learning-rate 0.5 --discount 0.99 --annealing 50 "
     "--seed 99"},
    {"open_field_q_learn", "--obstacles 0 --sides 8 --radius 25 --q-learn --runs 1500 "
                           "--eval-freq 30 --learning-rate 0.1 --discount 0.9 --annealing 200 "
                           "--seed 4242"},
    // The hindsight learner, its target network copied many times over.
    {"hindsight", "--learner hindsight --obstacles 5 --sides 6 --radius 12 --runs 1200 "
                  "--eval-freq 40 --warm-up 2000 --memory 20000 --sync-interval 700 "
                  "--seed 77"},
};

std::string sha256(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A line's digest, short: enough to find the first line that differs.
std::string lineDigest(const std::string& line) {
    return sha256(line).substr(0, 16);
}

// What one training wrote: a digest per file, and a short digest per line of the log.
struct Digests {
    std::map<std::string, std::string> files;
    std::vector<std::string> logLines;

    bool operator==(const Digests&) const = default;
};

Digests digestsOf(const fs::path& dir, const std::string& summary) {
    Digests d;
    d.files["summary"] = sha256(summary);
    for (const char* name : {"eval.dat", "weights.nnet", "exact.txt"}) {
        d.files[name] = sha256(readFile(dir / name));
    }
    for (const auto& entry : fs::directory_iterator(dir / "backup")) {
        d.files["backup/" + entry.path().filename().string()] = sha256(readFile(entry.path()));
    }
    for (const std::string& line : linesOf(readFile(dir / "eval.dat"))) {
        d.logLines.push_back(lineDigest(line));
    }
    return d;
}

fs::path dataPath(const Configuration& c) {
    return fs::path(QUORVEL_GOLDEN_DIR) / (std::string(c.name) + ".digests");
}

// Format: "# comment" lines, "file <name> <sha256>" lines, then "log-lines <d> <d> ...".
void write(const Configuration& c, const Digests& d) {
    std::ofstream out(dataPath(c));
    out << "# quorvel-train " << c.arguments << "\n";
    out << "# Re-record only in a commit that says why the training's bytes changed.\n";
    for (const auto& [name, digest] : d.files) {
        out << "file " << name << ' ' << digest << '\n';
    }
    out << "log-lines";
    for (const std::string& line : d.logLines) {
        out << ' ' << line;
    }
    out << '\n';
}

Digests read(const Configuration& c) {
    Digests d;
    std::ifstream in(dataPath(c));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "file") {
            std::string name, digest;
            words >> name >> digest;
            d.files[name] = digest;
        } else if (kind == "log-lines") {
            for (std::string digest; words >> digest;) {
                d.logLines.push_back(digest);
            }
        }
    }
    return d;
}

// Where the log first departs from the recorded one, with the line as it stands now.
std::string firstDifferingLine(const Digests& expected, const Digests& actual,
                               const std::vector<std::string>& logLines) {
    const std::size_t common = std::min(expected.logLines.size(), actual.logLines.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (expected.logLines[i] != actual.logLines[i]) {
            return "the evaluation log first differs at line " + std::to_string(i + 1) + ": \"" +
                   logLines[i] + "\"";
        }
    }
    if (expected.logLines.size() != actual.logLines.size()) {
        return "the evaluation log has " + std::to_string(actual.logLines.size()) +
               " lines where " + std::to_string(expected.logLines.size()) + " were recorded";
    }
    return "the evaluation log is as recorded";
}

// The arguments with {golden} standing for the folder of the recorded digests.
std::string argumentsOf(const Configuration& c) {
    std::string arguments = c.arguments;
    const std::string placeholder = "{golden}";
    if (const auto at = arguments.find(placeholder); at != std::string::npos) {
        arguments.replace(at, placeholder.size(), "'" QUORVEL_GOLDEN_DIR "'");
    }
    return arguments;
}

class Golden : public ::testing::TestWithParam<Configuration> {};

TEST_P(Golden, TrainingGivesTheRecordedBytes) {
    const Configuration& c = GetParam();
    // The digests hold for the C library's fused exp, pow and the rest, which it picks on
    // processors with FMA; its plain variants round some values otherwise.
    if (quorvel::probeExp(quorvel::libraryExp, quorvel::vectorUnitsUsable()) ==
        quorvel::ExpKind::plain) {
        GTEST_SKIP() << "the C library rounds as its plain variant here; the digests were "
                        "recorded with its fused one";
    }
    quorvel::testing::TempFolder folder(std::string("quorvel-golden-") + c.name);
    const fs::path& dir = folder.path();
    fs::create_directory(dir / "backup");
    const quorvel::testing::TrainerOutcome r = quorvel::testing::runTrainer(
        dir, argumentsOf(c) + " --quiet --log eval.dat --save-weights weights.nnet "
                              "--save-exact-weights exact.txt --backup-dir backup");
    ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
    // The summary line, the first the trainer prints (the goal share of the last tenth follows).
    const Digests actual = digestsOf(dir, r.out.substr(0, r.out.find('\n') + 1));

    if (std::getenv("QUORVEL_RECORD_GOLDEN") != nullptr) {
        write(c, actual);
        GTEST_SKIP() << "recorded " << dataPath(c);
    }
    ASSERT_TRUE(fs::exists(dataPath(c))) << "no recorded digests for " << c.name;
    const Digests expected = read(c);
    if (actual == expected) {
        return;
    }
    std::string differing;
    for (const auto& [name, digest] : expected.files) {
        const auto found = actual.files.find(name);
        if (found == actual.files.end()) {
            differing += " " + name + " (missing)";
        } else if (found->second != digest) {
            differing += " " + name;
        }
    }
    for (const auto& [name, digest] : actual.files) {
        if (!expected.files.contains(name)) {
            differing += " " + name + " (not recorded)";
        }
    }
    ADD_FAILURE() << "configuration " << c.name << " (" << c.arguments << ")\n"
                  << "files that differ:" << differing << "\n"
                  << firstDifferingLine(expected, actual, linesOf(readFile(dir / "eval.dat")));
}

INSTANTIATE_TEST_SUITE_P(Trainings, Golden, ::testing::ValuesIn(configurations),
                         [](const ::testing::TestParamInfo<Configuration>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
