#pragma once

#include <QDialog>

namespace quorvel {

// "About Quorvel": the icon, the version line and an OK button.
class CAboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};

} // namespace quorvel
