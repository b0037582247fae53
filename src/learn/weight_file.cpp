#include "learn/weight_file.h"

#include "common/c_locale.h"
#include "common/files.h"
#include "learn/q_learner.h"
#include "learn/q_network.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <sys/stat.h>

namespace quorvel {

namespace {

// Calls f(parameterIndex, isBias) for every parameter in file order: per unit the bias,
// then its weights, for hidden1, hidden2 and output.
template <typename F> void forEachInFileOrder(F&& f) {
    int rowStart = 0;
    auto layer = [&](int units, int inputs) {
        for (int j = 0; j < units; ++j) {
            f(rowStart + inputs, true);
            for (int i = 0; i < inputs; ++i) {
                f(rowStart + i, false);
            }
            rowStart += inputs + 1;
        }
    };
    layer(hidden1Units, networkInputs);
    layer(hidden2Units, hidden1Units);
    layer(1, hidden2Units);
}

WeightFileResult fromWriteStatus(FileWriteStatus status) {
    using Status = WeightFileResult::Status;
    switch (status) {
    case FileWriteStatus::ok:
        break;
    case FileWriteStatus::cannotCreate:
        return {Status::cannotOpen, 0};
    case FileWriteStatus::writeFailed:
        return {Status::writeFailed, 0};
    case FileWriteStatus::readOnly:
        return {Status::readOnly, 0};
    }
    return {};
}

// Parameter i as written: every NaN as "nan". Which sign a NaN comes out of the arithmetic
// with is not fixed by the operations (it depends on the order of their operands, which a
// compiler may swap), so the file does not record it.
double asWritten(const QNetwork& network, int i) {
    const double value = network.parameter(i);
    return std::isnan(value) ? std::numeric_limits<double>::quiet_NaN() : value;
}

} // namespace

WeightFileResult saveNetworkWeights(const QNetwork& network, const char* path) {
    return fromWriteStatus(writeFileAtomically(path, [&](std::FILE* file) {
        bool written = true;
        forEachInFileOrder([&](int index, bool isBias) {
            if (std::fprintf(file, isBias ? "%f, " : "%lf| ", asWritten(network, index)) < 0) {
                written = false;
            }
        });
        return written;
    }));
}

std::size_t weightFileBytes(const QNetwork& network) {
    const CNumericLocale cLocale;
    std::size_t bytes = 0;
    forEachInFileOrder([&](int index, bool isBias) {
        bytes += static_cast<std::size_t>(
            std::snprintf(nullptr, 0, isBias ? "%f, " : "%lf| ", asWritten(network, index)));
    });
    return bytes;
}

WeightFileResult saveExactWeights(const QNetwork& network, const char* path) {
    return fromWriteStatus(writeFileAtomically(path, [&](std::FILE* file) {
        bool written = true;
        forEachInFileOrder([&](int index, bool) {
            if (std::fprintf(file, "%a\n", asWritten(network, index)) < 0) {
                written = false;
            }
        });
        return written;
    }));
}

WeightFileResult loadNetworkWeights(QNetwork& network, const char* path) {
    using Status = WeightFileResult::Status;
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        return {Status::cannotOpen, 0};
    }
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return {Status::notAFile, 0};
    }
    double scratch[QNetwork::parameterCount];
    int read = 0;
    WeightFileResult result;
    {
        const CNumericLocale cLocale;
        forEachInFileOrder([&](int index, bool) {
            if (result.status != Status::ok) {
                return;
            }
            errno = 0;
            const int converted = std::fscanf(file, "%lf", &scratch[index]);
            if (converted == EOF) {
                result = {Status::tooFewNumbers, read};
                return;
            }
            if (converted != 1) {
                result = {Status::notANumber, read + 1};
                return;
            }
            // "inf" is a weight that diverged and was saved so; "1e309" is not a weight at all.
            if (std::isinf(scratch[index]) && errno == ERANGE) {
                result = {Status::outOfRange, read + 1};
                return;
            }
            if (++read == QNetwork::parameterCount) {
                return; // the last number: nothing after it is read, so a stream may go on
            }
            // Discard the separator up to and including the next space. A separator that
            // runs on without one is not a weight file's (and may be an endless stream).
            int c;
            int length = 0;
            do {
                c = std::fgetc(file);
                if (++length > maxSeparatorLength) {
                    result = {Status::noSeparator, read};
                    return;
                }
            } while (c != EOF && c != ' ');
        });
    }
    std::fclose(file);
    if (result) {
        for (int i = 0; i < QNetwork::parameterCount; ++i) {
            network.parameter(i) = scratch[i];
        }
    }
    return result;
}

std::string describeWeightFileResult(const WeightFileResult& result, const std::string& path,
                                     bool saving) {
    using Status = WeightFileResult::Status;
    const std::string quoted = "\"" + path + "\"";
    switch (result.status) {
    case Status::ok:
        return {};
    case Status::cannotOpen:
        return saving ? "Could not create " + quoted + "; the weights were not saved."
                      : "Could not open " + quoted + "; the weights were not loaded.";
    case Status::writeFailed:
        return "Could not write " + quoted + "; the weights were not saved.";
    case Status::readOnly:
        return quoted + " is read-only; it was kept, and the weights were not saved.";
    case Status::tooFewNumbers:
        return quoted + " holds only " + std::to_string(result.count) + " of the " +
               std::to_string(QNetwork::parameterCount) +
               " numbers of a weight file; the network was not changed.";
    case Status::notANumber:
        return "Entry " + std::to_string(result.count) + " of " + quoted +
               " is not a number; the network was not changed.";
    case Status::notAFile:
        return "Could not open " + quoted + " as a file: it is a folder; the weights were not " +
               "loaded.";
    case Status::outOfRange:
        return "Entry " + std::to_string(result.count) + " of " + quoted +
               " is too large for a number; the network was not changed.";
    case Status::noSeparator:
        return quoted + " is not a weight file: no space follows entry " +
               std::to_string(result.count) + " within " + std::to_string(maxSeparatorLength) +
               " characters; the network was not changed.";
    }
    return {};
}

WeightFileResult QLearner::saveWeights(const char* path) const {
    return saveNetworkWeights(network, path);
}

WeightFileResult QLearner::loadWeights(const char* path) {
    return loadNetworkWeights(network, path);
}

} // namespace quorvel
