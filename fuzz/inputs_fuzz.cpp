// libFuzzer target for what a user or a file can hand the program: the weight-file reader,
// the panel's field rules, the evaluation-log reader, the summary's JSON strings and the field
// file reader. The first byte chooses which ('w', 'f', 'l', 'j', 'F', or any other byte by its
// value); the rest is the input.
//
// Besides crashes and undefined behaviour it checks what must always hold: a refused load
// leaves every bit of the network as it was, an accepted one saves and reloads to the same
// text; an accepted field set lies within its ranges; an accepted log has a curve of shares
// that add up to 1, a refused one is quoted without control characters; every string written
// into JSON parses back, to itself when it was UTF-8; and an accepted field file is written
// and read back to the same field, which a World takes.
#include "cli/summary_json.h"
#include "learn/q_learner.h"
#include "learn/weight_file.h"
#include "rules/field_file.h"
#include "rules/input_rules.h"
#include "training/evaluation_log.h"
#include "watching/log_curves.h"
#include "world/world.h"

#include <nlohmann/json.hpp>

#include <algorithm>
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

void fuzzEvaluationLog(const std::string& bytes) {
    const MemoryFile file(bytes);
    const EvaluationLog log = readEvaluationLog(file.path);
    if (!log.error.empty()) {
        if (!log.ends.empty() || log.badLine < 1) {
            fail("a refused log kept its records or named no line");
        }
        const std::size_t quote = log.error.find(": \"");
        if (quote != std::string::npos) {
            for (std::size_t i = quote; i < log.error.size(); ++i) {
                if (static_cast<unsigned char>(log.error[i]) < 0x20) {
                    fail("a bad line was quoted with a control character");
                }
            }
            if (log.error.size() - quote > 220) {
                fail("a bad line was quoted at length");
            }
        }
        return;
    }
    std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    lines += !bytes.empty() && bytes.back() != '\n';
    if (log.ends.size() != lines) {
        fail("an accepted log did not read every line");
    }
    const LabelledCurve curve = logCurve(file.path, log);
    if (curve.points.size() > static_cast<std::size_t>(SampledShares::maxPoints) + 1) {
        fail("a curve kept more points than a chart shows");
    }
    for (const CurvePoint& p : curve.points) {
        const double sum = p.goals + p.collisions + p.misses;
        if (!(std::fabs(sum - 1) < 1e-9) || p.goals < 0 || p.collisions < 0 || p.misses < 0) {
            fail("the shares of a point do not add up to 1");
        }
    }
}

void fuzzJsonString(const std::string& bytes) {
    JsonObject object;
    object.text("text", bytes).integer("n", 1);
    nlohmann::json parsed;
    try {
        parsed = nlohmann::json::parse(object.str());
    } catch (const nlohmann::json::exception&) {
        fail("the summary's JSON does not parse");
    }
    bool utf8 = true;
    try {
        (void)nlohmann::json(bytes).dump(); // refuses text that is not UTF-8
    } catch (const nlohmann::json::exception&) {
        utf8 = false;
    }
    const std::string back = parsed["text"].get<std::string>();
    if (utf8 ? back != bytes : jsonString(back) != jsonString(bytes)) {
        fail("a string does not read back from the summary's JSON");
    }
}

void fuzzFieldFile(const std::string& bytes) {
    const FieldRead read = readFieldText(bytes, "fuzz");
    if (!read.field) {
        if (read.error.empty()) {
            fail("a refused field file says nothing");
        }
        return;
    }
    const std::string text = fieldText(*read.field);
    const FieldRead again = readFieldText(text, "again");
    if (!again.field || fieldText(*again.field) != text) {
        fail("an accepted field does not read back from its own text");
    }
    static World world(10, 10, 0, 0, 0);
    applyField(world, *read.field);
    if (fieldText(fieldOf(world)) != text) {
        fail("a World does not hold the field it was given");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    // The seeds name their reader by a letter; anything else chooses by the byte's value.
    const int reader = data[0] == 'w'   ? 0
                       : data[0] == 'f' ? 1
                       : data[0] == 'l' ? 2
                       : data[0] == 'j' ? 3
                       : data[0] == 'F' ? 4
                                        : data[0] % 5;
    switch (reader) {
    case 0:
        fuzzWeightFile(bytes);
        break;
    case 1:
        fuzzFields(bytes);
        break;
    case 2:
        fuzzEvaluationLog(bytes);
        break;
    case 3:
        fuzzJsonString(bytes);
        break;
    default:
        fuzzFieldFile(bytes);
    }
    return 0;
}
