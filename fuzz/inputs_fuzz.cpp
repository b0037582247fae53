// libFuzzer target for what a user or a file can hand the program: the weight-file reader
// and the panel's field rules. The first byte chooses which; the rest is the input.
//
// Besides crashes and undefined behaviour it checks what must always hold: a refused load
// leaves every bit of the network as it was, an accepted one saves and reloads to the same
// text, and an accepted field set lies within its ranges.
#include "learn/q_learner.h"
#include "learn/weight_file.h"
#include "panel/panel_fields.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace quorvel;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The bytes as a file of their own, by a path the reader can open.
struct MemoryFile {
    explicit MemoryFile(const std::string& bytes) : fd(memfd_create("fuzz", 0)) {
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            fail("memfd");
        }
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    ~MemoryFile() { close(fd); }
    std::string text() const {
        std::string content;
        char buffer[4096];
        for (ssize_t n;
             (n = pread(fd, buffer, sizeof buffer, static_cast<off_t>(content.size()))) > 0;) {
            content.append(buffer, static_cast<std::size_t>(n));
        }
        return content;
    }
    int fd;
    std::string path;
};

std::vector<unsigned char> bitsOf(const QNetwork& network) {
    std::vector<unsigned char> bits(sizeof(double) * QNetwork::parameterCount);
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        const double value = network.parameter(i);
        std::memcpy(&bits[sizeof(double) * i], &value, sizeof value);
    }
    return bits;
}

void fuzzWeightFile(const std::string& bytes) {
    static QLearner learner; // its network starts from the program's random weights
    const auto before = bitsOf(learner.network);
    const MemoryFile file(bytes);
    const WeightFileResult loaded = learner.loadWeights(file.path.c_str());
    if (!loaded) {
        if (bitsOf(learner.network) != before) {
            fail("a refused load changed the network");
        }
        return;
    }
    // Saved text reads back to the same numbers and saves to the same text.
    const MemoryFile first("");
    const MemoryFile second("");
    if (!learner.saveWeights(first.path.c_str()) || !learner.loadWeights(first.path.c_str()) ||
        !learner.saveWeights(second.path.c_str()) || first.text() != second.text()) {
        fail("saved weights do not read back to the same text");
    }
}

void fuzzFields(const std::string& bytes) {
    std::vector<std::string> parts(8);
    std::size_t part = 0;
    for (const char c : bytes) {
        if (c == '\n' && part + 1 < parts.size()) {
            ++part;
        } else {
            parts[part] += c;
        }
    }
    GenerateRequest generate;
    const Validation g = validateGenerate({parts[0], parts[1], parts[2]}, generate);
    if (g.ok && (generate.count < 0 || generate.count > 7 || generate.sides < 3 ||
                 generate.sides > 10 || !(generate.radius >= 5 && generate.radius <= 25))) {
        fail("an accepted obstacle field is out of range");
    }
    if (g.ok != g.messages.empty()) {
        fail("Generate stops without a message, or warns");
    }
    TrainRequest train;
    const Validation t = validateTrain({parts[3], parts[4], parts[5], parts[6], parts[7]}, train);
    if (t.ok && (train.runs < 1 || train.runs > 10000000 || !std::isfinite(train.learningRate) ||
                 !std::isfinite(train.discount) || !std::isfinite(train.annealing))) {
        fail("an accepted training is out of range or not finite");
    }
    if (!t.ok && t.messages.empty()) {
        fail("Train stops without a message");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0) {
        fuzzWeightFile(bytes);
    } else {
        fuzzFields(bytes);
    }
    return 0;
}
