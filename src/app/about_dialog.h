#pragma once

#include <QDialog>

namespace quorvel {

// "About Quorvel": the icon, the version line, an OK button, the panel's keys and the licence.
class CAboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDialog(QWidget* parent = nullptr);

    static QString keysText();
    static QString licenceText();
};

} // namespace quorvel
