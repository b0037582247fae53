#include "common/c_locale.h"

namespace quorvel {

namespace {
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}
} // namespace

CNumericLocale::CNumericLocale() : previous_(uselocale(cLocale())) {}

CNumericLocale::~CNumericLocale() {
    uselocale(previous_);
}

} // namespace quorvel
