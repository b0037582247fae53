#include "common/files.h"

#include "common/c_locale.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <utility>

namespace quorvel {

namespace {

constexpr int maxLinksFollowed = 40;
const std::string temporaryPrefix = ".quorvel-tmp-";

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

// "<prefix><pid>-<host>-" and the six characters mkstemp fills in.
std::string temporaryTemplate(const std::string& folder) {
    return folder + "/" + temporaryPrefix + std::to_string(getpid()) + "-" + hostName() + "-XXXXXX";
}

// A temporary of this pattern is stale when the process that made it on this host has gone,
// or when it was made on another host more than a day ago (that process cannot be asked).
bool isStaleTemporary(const std::string& folder, const std::string& name) {
    if (name.compare(0, temporaryPrefix.size(), temporaryPrefix) != 0) {
        return false;
    }
    const char* rest = name.c_str() + temporaryPrefix.size();
    char* end = nullptr;
    const long pid = std::strtol(rest, &end, 10);
    const std::size_t tail = 7; // "-XXXXXX"
    if (end == rest || *end != '-' || pid <= 0 ||
        std::strlen(end) < tail + 2) { // "-" host "-XXXXXX"
        return false;
    }
    const std::string host(end + 1, std::strlen(end + 1) - tail);
    if (host == hostName()) {
        return pid != getpid() && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    }
    struct stat info;
    constexpr time_t aDay = 24 * 60 * 60;
    return stat((folder + "/" + name).c_str(), &info) == 0 &&
           std::time(nullptr) - info.st_mtime > aDay;
}

void removeStaleTemporaries(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        if (isStaleTemporary(folder, entry->d_name)) {
            unlink((folder + "/" + entry->d_name).c_str());
        }
    }
    closedir(dir);
}

mode_t newFileMode(const std::string& target) {
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) {
        return existing.st_mode & 07777;
    }
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The path with the links of its last component followed; *throughProc tells whether one of
// them lay in /proc, as /dev/stdout's /proc/self/fd/1 does: such a path names an open file,
// which is written, not replaced.
std::string followLinks(const std::string& path, bool* throughProc) {
    std::string current = path;
    for (int i = 0; i < maxLinksFollowed; ++i) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current;
        }
        struct statfs folder;
        if (throughProc != nullptr && statfs(folderOf(current).c_str(), &folder) == 0 &&
            folder.f_type == PROC_SUPER_MAGIC) {
            *throughProc = true;
        }
        char target[PATH_MAX];
        const ssize_t size = readlink(current.c_str(), target, sizeof target - 1);
        if (size < 0) {
            return current;
        }
        target[size] = '\0';
        current = target[0] == '/' ? std::string(target) : folderOf(current) + "/" + target;
    }
    return current;
}

bool namesOpenFile(const std::string& path) {
    bool throughProc = false;
    followLinks(path, &throughProc);
    return throughProc;
}

// A file whose permissions let nobody write it is meant to be kept, even where the process
// could write it anyway (as the superuser can).
bool readOnly(const std::string& path, const struct stat& info) {
    return access(path.c_str(), W_OK) != 0 || (info.st_mode & 0222) == 0;
}

std::string lastPart(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::optional<int> descriptorNamed(const std::string& path) {
    const std::string ours = "/proc/" + std::to_string(getpid()) + "/fd";
    std::string current = path;
    for (int i = 0; i < maxLinksFollowed; ++i) {
        char folder[PATH_MAX];
        if (realpath(folderOf(current).c_str(), folder) != nullptr &&
            (ours == folder || std::string(folder) == "/proc/self/fd")) {
            const std::string name = lastPart(current);
            char* end = nullptr;
            const long fd = std::strtol(name.c_str(), &end, 10);
            if (!name.empty() && *end == '\0' && fd >= 0 && fd <= INT_MAX) {
                return static_cast<int>(fd);
            }
            return std::nullopt;
        }
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return std::nullopt;
        }
        char target[PATH_MAX];
        const ssize_t size = readlink(current.c_str(), target, sizeof target - 1);
        if (size < 0) {
            return std::nullopt;
        }
        target[size] = '\0';
        current = target[0] == '/' ? std::string(target) : folderOf(current) + "/" + target;
    }
    return std::nullopt;
}

bool isStandardOutput(const std::string& path) {
    if (descriptorNamed(path) == STDOUT_FILENO) {
        return true;
    }
    struct stat out, named;
    return fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode) &&
           stat(path.c_str(), &named) == 0 && out.st_dev == named.st_dev &&
           out.st_ino == named.st_ino;
}

OutputLock::~OutputLock() {
    release();
}

OutputLock::OutputLock(OutputLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), lockPath_(std::move(other.lockPath_)) {}

OutputLock& OutputLock::operator=(OutputLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        lockPath_ = std::move(other.lockPath_);
    }
    return *this;
}

bool OutputLock::acquire(const std::string& path, bool isFolder) {
    release();
    struct stat info;
    const bool exists = stat(path.c_str(), &info) == 0;
    if (!isFolder && (descriptorNamed(path) || (exists && !S_ISREG(info.st_mode)))) {
        return true; // written where it stands: nothing to claim
    }
    const std::string target = isFolder ? path : resolveLinks(path);
    const std::string lockPath =
        isFolder ? target + "/.quorvel.lock" : folderOf(target) + "/." + lastPart(target) + ".lock";
    for (;;) {
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            return true; // no lock file can be made there: nor can the output, as is said later
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return false;
        }
        // The holder before us may have removed the file as we opened it: the lock must be on
        // the file that is there now.
        struct stat locked, there;
        if (fstat(fd, &locked) == 0 && stat(lockPath.c_str(), &there) == 0 &&
            locked.st_dev == there.st_dev && locked.st_ino == there.st_ino) {
            fd_ = fd;
            lockPath_ = lockPath;
            return true;
        }
        close(fd);
    }
}

void OutputLock::release() {
    if (fd_ >= 0) {
        unlink(lockPath_.c_str());
        close(fd_);
        fd_ = -1;
        lockPath_.clear();
    }
}

std::string resolveLinks(const std::string& path) {
    return followLinks(path, nullptr);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0) {
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    auto place = [](const std::string& path) {
        std::error_code ignored;
        return std::filesystem::weakly_canonical(
            std::filesystem::absolute(resolveLinks(path), ignored), ignored);
    };
    return place(a) == place(b);
}

std::string writeProblem(const std::string& path) {
    if (path.empty()) {
        return "no file is named";
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return "it is a folder";
        }
        if (S_ISREG(info.st_mode) && !namesOpenFile(path) && readOnly(path, info)) {
            return "it is read-only";
        }
        // A regular file is replaced through its folder; anything else is written in place.
        const std::string real =
            S_ISREG(info.st_mode) && !namesOpenFile(path) ? folderOf(resolveLinks(path)) : path;
        if (access(real.c_str(), W_OK) != 0) {
            return S_ISREG(info.st_mode) && !namesOpenFile(path)
                       ? "its folder \"" + real + "\" cannot be written"
                       : "it cannot be written";
        }
        return {};
    }
    if (errno != ENOENT && errno != ENOTDIR) {
        return std::strerror(errno);
    }
    // A new file: its folder, where its links point, must be there and writable.
    const std::string folder = folderOf(resolveLinks(path));
    if (stat(folder.c_str(), &info) != 0) {
        return "its folder \"" + folder + "\" does not exist";
    }
    if (!S_ISDIR(info.st_mode)) {
        return "\"" + folder + "\" is not a folder";
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        return "its folder \"" + folder + "\" cannot be written";
    }
    return {};
}

AtomicFile::~AtomicFile() {
    abandon();
}

FileWriteStatus AtomicFile::open(const std::string& path) {
    abandon();
    if (path.empty()) {
        return FileWriteStatus::cannotCreate;
    }
    // Where the new file goes. The kernel follows the links: an existing file that is not a
    // regular one, or a regular one with no name of its own to replace (an open file that was
    // deleted, a memory file), is written in place; a name whose file does not exist yet is
    // created where its links point.
    if (const std::optional<int> fd = descriptorNamed(path)) {
        // Where this process's descriptor stands: not opened again, so not emptied.
        const int copy = dup(*fd);
        if (copy < 0 || (file_ = fdopen(copy, "w")) == nullptr) {
            if (copy >= 0) {
                close(copy);
            }
            return FileWriteStatus::cannotCreate;
        }
        return FileWriteStatus::ok;
    }
    struct stat existing;
    bool inPlace = namesOpenFile(path);
    std::string target;
    if (!inPlace && stat(path.c_str(), &existing) == 0) {
        char real[PATH_MAX];
        struct stat named;
        inPlace = !S_ISREG(existing.st_mode) || realpath(path.c_str(), real) == nullptr ||
                  stat(real, &named) != 0 || named.st_dev != existing.st_dev ||
                  named.st_ino != existing.st_ino;
        target = inPlace ? path : real;
        if (!inPlace && readOnly(target, existing)) {
            return FileWriteStatus::readOnly;
        }
    } else if (!inPlace && errno == ENOENT) {
        target = resolveLinks(path);
    } else if (!inPlace) {
        return FileWriteStatus::cannotCreate; // a name too long, a folder that is a file, ...
    }
    if (inPlace) {
        file_ = std::fopen(path.c_str(), "w");
        return file_ != nullptr ? FileWriteStatus::ok : FileWriteStatus::cannotCreate;
    }

    const std::string folder = folderOf(target);
    removeStaleTemporaries(folder);
    std::string temporary = temporaryTemplate(folder);
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return FileWriteStatus::cannotCreate;
    }
    if (fchmod(fd, newFileMode(target)) != 0 || (file_ = fdopen(fd, "w")) == nullptr) {
        close(fd);
        unlink(temporary.c_str());
        return FileWriteStatus::cannotCreate;
    }
    temporary_ = temporary;
    target_ = target;
    return FileWriteStatus::ok;
}

FileWriteStatus AtomicFile::commit(bool written) {
    if (file_ == nullptr) {
        return FileWriteStatus::writeFailed;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    written = std::fflush(file) == 0 && !std::ferror(file) && written;
    if (temporary_.empty()) { // written in place: nothing to sync or replace
        written = std::fclose(file) == 0 && written;
        return written ? FileWriteStatus::ok : FileWriteStatus::writeFailed;
    }
    written = fsync(fileno(file)) == 0 && written;
    written = std::fclose(file) == 0 && written;
    const std::string temporary = std::move(temporary_);
    temporary_.clear();
    if (!written || std::rename(temporary.c_str(), target_.c_str()) != 0) {
        unlink(temporary.c_str());
        return FileWriteStatus::writeFailed;
    }
    // Make the new name itself durable.
    const int folderFd = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return FileWriteStatus::ok;
}

void AtomicFile::abandon() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        temporary_.clear();
    }
}

FileWriteStatus writeFileAtomically(const std::string& path,
                                    const std::function<bool(std::FILE*)>& write) {
    AtomicFile file;
    if (const FileWriteStatus opened = file.open(path); opened != FileWriteStatus::ok) {
        return opened;
    }
    bool written = false;
    {
        const CNumericLocale cLocale;
        written = write(file.file());
    }
    return file.commit(written);
}

} // namespace quorvel
