#include "app/main_app.h"

#include "app/app_icon.h"
#include "app/main_dialog.h"
#include "world/program_world.h"

#include <QTimer>

#include <clocale>

namespace quorvel {

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Qt set the C library's locale from the environment; numbers in fields and files are
    // read and written with a full stop whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    setOrganizationName("Local AppWizard-Generated Applications");
    setApplicationName("Quorvel");
    setWindowIcon(applicationIcon());
}

bool CMainApp::InitInstance(const QString& screenshotPath) {
    CMainDialog dialog(programWorld());
    if (!screenshotPath.isEmpty()) {
        QTimer::singleShot(1500, &dialog, [&dialog, screenshotPath] {
            dialog.grab().save(screenshotPath);
            dialog.done(QDialog::Rejected);
        });
    }
    dialog.exec();
    return false;
}

} // namespace quorvel
