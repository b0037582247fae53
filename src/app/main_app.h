#pragma once

#include <QApplication>

namespace quorvel {

class CMainApp : public QApplication {
    Q_OBJECT
  public:
    CMainApp(int& argc, char** argv);

    // Runs the control panel modally; returns false, so the program ends when it closes.
    // With a screenshot path, shows the panel, saves a picture of it there and closes.
    bool InitInstance(const QString& screenshotPath = {});
};

} // namespace quorvel
