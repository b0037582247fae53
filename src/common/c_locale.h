#pragma once

#include <locale.h>

namespace quorvel {

// While alive, the C library's formatted input and output on this thread use the "C"
// locale, so numbers are written and read with a full stop whatever the process locale.
class CNumericLocale {
  public:
    CNumericLocale();
    ~CNumericLocale();
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

  private:
    locale_t previous_;
};

} // namespace quorvel
