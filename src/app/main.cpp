#include "app/main_app.h"
#include "world/world.h"

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // A file-size limit makes a save fail with a message instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // The only option: --screenshot FILE.png saves a picture of the panel after start-up.
    QString screenshot;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            screenshot = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: quorvel [--screenshot FILE.png]\n");
            return 2;
        }
    }
    quorvel::CMainApp app(argc, argv);
    quorvel::programWorld();
    return app.InitInstance(screenshot) ? app.exec() : 0;
}
