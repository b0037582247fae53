#pragma once

#include "training/progress.h"

namespace quorvel {

// The trainer's progress line on standard error, redrawn in place: a bar and the figures.
class ProgressBar {
  public:
    explicit ProgressBar(bool enabled) : enabled_(enabled) {}

    void update(const ProgressFigures& figures);
    // The bar's line ends.
    void end();
    // Before a message: the bar's line is cleared, and the next update draws it anew.
    void interrupt();

  private:
    bool enabled_;
    bool drawn_ = false;
};

} // namespace quorvel
