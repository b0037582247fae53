#pragma once

// Small helpers shared by the tests.
#include "learn/q_network.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quorvel::testing {

// The network's 536 parameters in storage order.
inline std::vector<double> parametersOf(const QNetwork& network) {
    std::vector<double> values;
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        values.push_back(network.parameter(i));
    }
    return values;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs f while no file may grow beyond `bytes`: writes past it fail (EFBIG) instead of
// raising SIGXFSZ, as on a full disk.
template <typename F> auto withFileSizeLimit(rlim_t bytes, F&& f) {
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit limited = old;
    limited.rlim_cur = bytes;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    auto result = f();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    return result;
}

// Runs f while no further file can be opened: the open-file limit is the lowest free
// descriptor, the one the next open would take.
template <typename F> auto withOpenFileLimit(F&& f) {
    struct rlimit old;
    getrlimit(RLIMIT_NOFILE, &old);
    int lowestFree = 0;
    while (fcntl(lowestFree, F_GETFD) != -1) {
        ++lowestFree;
    }
    struct rlimit limited = old;
    limited.rlim_cur = static_cast<rlim_t>(lowestFree);
    setrlimit(RLIMIT_NOFILE, &limited);
    auto result = f();
    setrlimit(RLIMIT_NOFILE, &old);
    return result;
}

// Waits until `holds` is true, looking again every millisecond (the work it waits for goes on
// in another thread); the test's time limit ends a wait that never ends.
template <typename Holds> void waitUntil(Holds&& holds) {
    while (!holds()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// A fresh folder for the running test, removed at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix)
        : path_(std::filesystem::temp_directory_path() /
                (prefix + "-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

} // namespace quorvel::testing
