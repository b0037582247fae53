#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace quorvel {

enum class FileWriteStatus {
    ok,
    cannotCreate, // the file (or its temporary neighbour) could not be created
    writeFailed,  // a write, flush or the final rename failed; the old file is untouched
};

// Writes `path` whole or not at all: `write` fills a temporary file in the same folder, which
// replaces `path` only when every write, the flush and the sync succeeded. The new file
// keeps the permission bits of the one it replaces. `write` returns false when a write of
// its own failed. Numbers are written with a full stop whatever the locale.
FileWriteStatus writeFileAtomically(const std::string& path,
                                    const std::function<bool(std::FILE*)>& write);

} // namespace quorvel
