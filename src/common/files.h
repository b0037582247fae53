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

// A file written in steps, whole or not at all, as writeFileAtomically writes one: open, write
// to file(), then commit. Destroyed or abandoned before the commit, it leaves no trace and the
// old file as it was.
class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    FileWriteStatus open(const std::string& path);
    std::FILE* file() const { return file_; }
    // Puts the file in place once everything reached it; `written` is false when a write of
    // the caller's own failed.
    FileWriteStatus commit(bool written = true);
    void abandon();

  private:
    std::FILE* file_ = nullptr;
    std::string temporary_; // empty when writing in place
    std::string target_;
};

// Writes `path` whole or not at all: `write` fills a temporary file in the same folder, which
// replaces `path` only when every write, the flush and the sync succeeded. The new file
// keeps the permission bits of the one it replaces. `write` returns false when a write of
// its own failed. Numbers are written with a full stop whatever the locale.
//
// A symbolic link is followed and the file it points to is replaced; an existing file that is
// not a regular one (a device, a FIFO) is written directly, as there is nothing to replace.
// The temporary's name is short (".quorvel-tmp-<pid>-<host>-XXXXXX"), so any valid name can be
// saved; temporaries of that pattern left by a process that was killed are removed by the next
// save into the same folder.
FileWriteStatus writeFileAtomically(const std::string& path,
                                    const std::function<bool(std::FILE*)>& write);

// Whether two paths name the same file, after following links: the same file on disk when it
// exists (hard links included), else the same place once the folders' links are resolved.
bool sameFile(const std::string& a, const std::string& b);

// The path with symbolic links of its last component followed, to the file they point to
// (which need not exist).
std::string resolveLinks(const std::string& path);

// Why a file could not be written at `path` (as writeFileAtomically or fopen would write it),
// or nothing when it could: "its folder \"x\" does not exist", "it is a folder", ... Checked
// before long work whose result would otherwise be lost.
std::string writeProblem(const std::string& path);

} // namespace quorvel
