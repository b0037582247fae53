#include "app/about_dialog.h"

#include "app/app_icon.h"
#include "app/dialog_units.h"

#include <QLabel>
#include <QPushButton>

namespace quorvel {

QString CAboutDialog::keysText() {
    return "Keys, while no field is being edited:\n"
           "Up: forwards    Down: reverse\n"
           "Left, Right: move the steering slider (with Shift: by ten)\n"
           "Home or 0: steering to the middle, straight ahead";
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
    keys->setGeometry(du.rect(40, 28, 188, 40));

    setFixedSize(du.x(235), du.y(74));
}

} // namespace quorvel
