#include "common/atomic_file.h"

#include "common/c_locale.h"

#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

mode_t newFileMode(const char* path) {
    struct stat existing;
    if (stat(path, &existing) == 0) {
        return existing.st_mode & 07777;
    }
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

FileWriteStatus writeFileAtomically(const std::string& path,
                                    const std::function<bool(std::FILE*)>& write) {
    std::string temporary = path + ".XXXXXX";
    const int fd = !path.empty() ? mkstemp(temporary.data()) : -1;
    if (fd < 0) {
        return FileWriteStatus::cannotCreate;
    }
    std::FILE* file = fdopen(fd, "w");
    if (file == nullptr) {
        close(fd);
        unlink(temporary.c_str());
        return FileWriteStatus::cannotCreate;
    }
    bool written = fchmod(fd, newFileMode(path.c_str())) == 0;
    {
        const CNumericLocale cLocale;
        written = write(file) && written;
    }
    written = std::fflush(file) == 0 && !std::ferror(file) && written;
    written = fsync(fd) == 0 && written;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return FileWriteStatus::writeFailed;
    }
    return FileWriteStatus::ok;
}

} // namespace quorvel
