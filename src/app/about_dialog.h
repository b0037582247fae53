#pragma once

#include <QDialog>

namespace quorvel {

// "About Quorvel": the icon, the version line, an OK button and the panel's keys.
class CAboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDialog(QWidget* parent = nullptr);

    static QString keysText();
};

} // namespace quorvel
