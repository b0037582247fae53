#include "app/dialog_units.h"

#include <QFontMetrics>

namespace quorvel {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 letters, rounded, as the dialog manager measures it.
    const int letters =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseWidth_ = (letters / 26 + 1) / 2;
    baseHeight_ = metrics.height();
}

} // namespace quorvel
