#pragma once

#include <cstddef>
#include <string>

namespace quorvel {

class QNetwork;

// The outcome of saving or loading a weight file.
struct WeightFileResult {
    enum class Status {
        ok,
        cannotOpen,    // the file (or, when saving, its temporary neighbour) could not be opened
        writeFailed,   // a write, flush or the final rename failed; the old file is untouched
        tooFewNumbers, // the file ended after `count` numbers; the network is unchanged
        notANumber,    // entry `count` (counted from 1) is not a number; the network is unchanged
        notAFile,      // the path names a folder
        noSeparator,   // no space follows entry `count` within maxSeparatorLength characters
        outOfRange,    // entry `count` is too large for a double (1e309); unchanged
        readOnly,      // saving: the file is there and read-only; it is kept
    };
    Status status = Status::ok;
    int count = 0;

    explicit operator bool() const { return status == Status::ok; }
};

// The longest run of characters read after a number while looking for the space that ends
// its separator (a saved file's separators are two characters long).
inline constexpr int maxSeparatorLength = 4096;

// A sentence for the user about a failed save or load of `path`; empty for success.
std::string describeWeightFileResult(const WeightFileResult& result, const std::string& path,
                                     bool saving);

// One line: per unit the bias ("%f, ") then its weights ("%lf| "), hidden1, hidden2, output.
// The text goes to a temporary file beside `path` that replaces `path` only when complete.
WeightFileResult saveNetworkWeights(const QNetwork& network, const char* path);

// How many bytes saveNetworkWeights writes for this network.
std::size_t weightFileBytes(const QNetwork& network);

// Every parameter with all its bits, one "%a" number a line, in the order of the weight file:
// for checking that two trainings ended with the very same network.
WeightFileResult saveExactWeights(const QNetwork& network, const char* path);

// Reads all 536 numbers into a scratch copy; the network changes only when all were read.
// Nothing after the 536th number is read.
WeightFileResult loadNetworkWeights(QNetwork& network, const char* path);

} // namespace quorvel
