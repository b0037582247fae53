#include "cli/progress_bar.h"

#include <iostream>
#include <string>

namespace quorvel {

void ProgressBar::update(const ProgressFigures& f) {
    if (!enabled_) {
        return;
    }
    constexpr int width = 20;
    const TrainingProgress& p = f.counts;
    const int filled =
        p.runs > 0 ? static_cast<int>(static_cast<long long>(width) * p.runsDone / p.runs) : 0;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] "
              << formatProgressLine(f) << "\x1b[K" << std::flush;
    drawn_ = true;
}

void ProgressBar::end() {
    if (enabled_ && drawn_) {
        std::cerr << '\n';
    }
    drawn_ = false;
}

void ProgressBar::interrupt() {
    if (enabled_ && drawn_) {
        std::cerr << "\r\x1b[K";
    }
    drawn_ = false;
}

} // namespace quorvel
