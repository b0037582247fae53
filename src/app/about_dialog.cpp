#include "app/about_dialog.h"

#include "app/app_icon.h"
#include "app/dialog_units.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace quorvel {

QString CAboutDialog::keysText() {
    return "Keys, while no field is being edited:\n"
           "Up: forwards    Down: reverse\n"
           "Left, Right: move the steering slider (with Shift: by ten)\n"
           "Home or 0: steering to the middle, straight ahead\n"
           "V: value map    A: values of the actions";
}

QString CAboutDialog::licenceText() {
    return "Quorvel is free software: you may share and change it under the GNU General\n"
           "Public License, version 3 or (at your option) any later version\n"
           "(GPL-3.0-or-later). It comes with no warranty.";
}

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Quorvel");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du(font());

    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(du.x(20), du.y(20)));
    icon->setGeometry(du.rect(11, 17, 20, 20));

    auto* version = new QLabel("Quorvel Version 1.0", this);
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(du.rect(40, 10, 119, 8));

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    ok->setGeometry(du.rect(178, 7, 50, 16));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* keys = new QLabel(keysText(), this);
    keys->setObjectName("keys");
    keys->setTextFormat(Qt::PlainText);
    // As large as its lines are in this font, and the box around it.
    keys->setGeometry(QRect(QPoint(du.x(40), du.y(28)), keys->sizeHint()));
    auto* licence = new QLabel(licenceText(), this);
    licence->setObjectName("licence");
    licence->setTextFormat(Qt::PlainText);
    licence->setGeometry(
        QRect(QPoint(du.x(40), keys->geometry().bottom() + du.y(8)), licence->sizeHint()));
    setFixedSize(std::max({du.x(235), keys->geometry().right() + du.x(8),
                           licence->geometry().right() + du.x(8)}),
                 std::max(du.y(74), licence->geometry().bottom() + du.y(8)));
}

} // namespace quorvel
