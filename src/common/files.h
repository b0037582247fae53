#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace quorvel {

enum class FileWriteStatus {
    ok,
    cannotCreate, // the file (or its temporary neighbour) could not be created
    writeFailed,  // a write, flush or the final rename failed; the old file is untouched
    readOnly,     // the file is there and may not be written: it is kept as it is
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
// its own failed. Numbers are written with a full stop whatever the locale. A file that is
// there but may not be written (no write permission, for anyone) is refused, not replaced.
//
// A symbolic link is followed and the file it points to is replaced; an existing file that is
// not a regular one (a device, a FIFO) is written directly, as there is nothing to replace,
// and a name of one of this process's open descriptors (/dev/stdout, /dev/fd/3) is written
// where that descriptor stands, never opened again and emptied.
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
// or nothing when it could: "its folder \"x\" does not exist", "it is a folder", "it is
// read-only", ... Checked before long work whose result would otherwise be lost.
std::string writeProblem(const std::string& path);

// The descriptor of this process that `path` names through /proc (/dev/stdout, /dev/fd/3,
// /proc/self/fd/1), if it names one.
std::optional<int> descriptorNamed(const std::string& path);

// Whether `path` is where this process's standard output goes: its descriptor, or the very
// file standard output was sent to.
bool isStandardOutput(const std::string& path);

// A claim on an output that no other process may write while it is held: the kernel's
// advisory lock (flock) on a hidden lock file beside it (".<name>.lock"; inside a folder for a
// folder), so a process that dies leaves no lock behind. Outputs written where a descriptor
// stands (standard output, a device, a FIFO) need none and are always claimed.
class OutputLock {
  public:
    OutputLock() = default;
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
    OutputLock(OutputLock&& other) noexcept;
    OutputLock& operator=(OutputLock&& other) noexcept;

    // False, holding nothing, when another process holds the claim.
    bool acquire(const std::string& path, bool isFolder = false);
    void release();

  private:
    int fd_ = -1;
    std::string lockPath_;
};

} // namespace quorvel
