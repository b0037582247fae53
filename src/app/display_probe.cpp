#include "app/display_probe.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvel {

namespace {

// Whether the X display named by DISPLAY takes a connection: a local one through its socket, a
// remote one on its port, within a few seconds.
bool xDisplayAnswers(const std::string& name) {
    const std::size_t colon = name.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string host = name.substr(0, colon);
    const int number = std::atoi(name.c_str() + colon + 1);
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        for (const bool abstract : {true, false}) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            // The abstract name starts with a zero byte; the file's is the path itself.
            std::memcpy(address.sun_path + (abstract ? 1 : 0), path.c_str(), path.size());
            const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                                          path.size() + (abstract ? 1 : 0));
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            const bool answered =
                fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), size) == 0;
            if (fd >= 0) {
                close(fd);
            }
            if (answered) {
                return true;
            }
        }
        return false;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(6000 + number).c_str(), &hints, &found) != 0) {
        return false;
    }
    bool answered = false;
    for (addrinfo* a = found; a != nullptr && !answered; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            continue;
        }
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            answered = true;
        } else if (errno == EINPROGRESS) {
            pollfd wait{fd, POLLOUT, 0};
            int error = 0;
            socklen_t length = sizeof error;
            answered = poll(&wait, 1, 3000) == 1 &&
                       getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        }
        close(fd);
    }
    freeaddrinfo(found);
    return answered;
}

} // namespace

bool hasDisplay() {
    if (std::getenv("WAYLAND_DISPLAY") != nullptr) {
        return true;
    }
    const char* x = std::getenv("DISPLAY");
    return x != nullptr && xDisplayAnswers(x);
}

} // namespace quorvel
