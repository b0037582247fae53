#include "app/display_probe.h"
#include "app/headless.h"
#include "app/main_app.h"
#include "common/files.h"
#include "world/program_world.h"

#include <CLI/CLI.hpp>

#include <QByteArray>

#include <csignal>
#include <iostream>
#include <string>

namespace {

// Without a window, only what the program itself says reaches standard error: Qt's notes about
// its environment ("XDG_RUNTIME_DIR not set", ...) would stand in front of the messages that
// matter. Qt's critical and fatal messages still go through.
void onlyQtsErrors(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::cerr << "quorvel: " << message.toStdString() << '\n';
    }
}

int bad(const std::string& message) {
    std::cerr << "quorvel: " << message << "; --help lists the options\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // A file-size limit makes a save fail with a message instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);

    std::string screenshot;
    quorvel::RecordOptions record;
    quorvel::PlotOptions plot;
    quorvel::ValueMapOptions valueMap;
    double heading = 0;
    std::string size;
    CLI::App cli{"Quorvel: a car-like robot learns to drive to a goal among obstacles. Without "
                 "options it opens the control panel."};
    cli.add_option("--screenshot", screenshot,
                   "Save a picture of the panel after start-up, then close");
    cli.add_option("--record", record.output,
                   "Record the learned behaviour played back into this animated GIF, without a "
                   "window (drawing needs a display: run it on one or under xvfb-run)");
    cli.add_option("--value-map", valueMap.output,
                   "Draw what the network values on each floor square, seen from above, into "
                   "this PNG, without a window: the World built as quorvel-train builds it");
    CLI::Option* headingOption = cli.add_option(
        "--heading", heading,
        "With --value-map: the robot's heading in degrees, counter-clockwise from +x "
        "[default: its own, 0]");
    cli.add_option("--load-weights", record.world.loadWeights,
                   "With --record or --value-map: weight file to play back or map");
    cli.add_option("--obstacles", record.world.obstacles,
                   "With --record or --value-map: number of obstacles, 0 to 7")
        ->capture_default_str();
    cli.add_option("--sides", record.world.sides,
                   "With --record or --value-map: sides per obstacle, 3 to 10")
        ->capture_default_str();
    cli.add_option("--radius", record.world.radius,
                   "With --record or --value-map: average obstacle radius, 5 to 25")
        ->capture_default_str();
    cli.add_option("--field", record.world.field,
                   "With --record or --value-map: the field of this file (Save Field..., "
                   "quorvel-train --save-field) in place of a generated one");
    cli.add_option("--seed", record.world.seed,
                   "With --record or --value-map: start the random sequence from this state, "
                   "as quorvel-train --seed does");
    cli.add_option("--frames", record.frames,
                   "With --record: at most this many frames, 1 to " +
                       std::to_string(quorvel::maxRecordedFrames))
        ->capture_default_str();
    cli.add_flag("!--no-trails", record.trails, "With --record: no trail of past poses");
    cli.add_option("--plot", plot.logs,
                   "Draw the learning curve of these evaluation logs (several: their goal shares "
                   "side by side) into the --output PNG, without a window");
    cli.add_option("--output", plot.output, "With --plot: the PNG to write");
    double reachableShare = 0;
    CLI::Option* reachableOption = cli.add_option(
        "--reachable-share", reachableShare,
        "With --plot of one log: draw a line at this share (0 to 1) of the evaluation "
        "placements from which some drive reaches the goal, as quorvel-train --reachable says");
    cli.add_option("--size", size,
                   "Picture size WxH in pixels [default: 640x320 with --record, 800x500 with "
                   "--plot, 640x560 with --value-map]");
    cli.set_version_flag("--version", "quorvel " QUORVEL_VERSION, "Print the version and stop");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return cli.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return cli.exit(e);
    } catch (const CLI::ParseError& e) {
        return bad(e.what());
    }

    const bool recording = !record.output.empty();
    const bool plotting = !plot.logs.empty();
    const bool mapping = !valueMap.output.empty();
    if (recording + plotting + mapping > 1) {
        return bad("--record, --plot and --value-map are separate jobs");
    }
    if (headingOption->count() > 0 && !mapping) {
        return bad("--heading goes with --value-map");
    }
    if (plotting && plot.output.empty()) {
        return bad("--plot needs --output");
    }
    if (reachableOption->count() > 0) {
        if (!plotting || plot.logs.size() != 1) {
            return bad("--reachable-share goes with --plot of one log");
        }
        if (!(reachableShare >= 0 && reachableShare <= 1)) {
            return bad("--reachable-share must be a share from 0 to 1");
        }
        plot.reachableShare = reachableShare;
    }
    // One file in two roles would turn an input into the output.
    for (const std::string& log : plot.logs) {
        if (plotting && quorvel::sameFile(log, plot.output)) {
            return bad("--plot and --output name the same file \"" + plot.output +
                       "\"; nothing was written");
        }
    }
    for (const std::string* output : {&record.output, &valueMap.output}) {
        if (!output->empty() && !record.world.loadWeights.empty() &&
            quorvel::sameFile(*output, record.world.loadWeights)) {
            return bad(std::string(output == &record.output ? "--record" : "--value-map") +
                       " and --load-weights name the same file \"" + *output +
                       "\"; nothing was written");
        }
    }
    if (!recording && !plotting && !mapping && (!plot.output.empty() || !size.empty())) {
        return bad("--output and --size go with --record, --plot or --value-map");
    }
    if (!record.world.field.empty()) {
        if (!recording && !mapping) {
            return bad("--field goes with --record or --value-map");
        }
        for (const char* generated : {"--obstacles", "--sides", "--radius"}) {
            if (cli.count(generated) > 0) {
                return bad(std::string("--field gives the field; ") + generated +
                           " makes one: give one of them");
            }
        }
    }
    if (record.frames < 1 || record.frames > quorvel::maxRecordedFrames) {
        return bad("--frames must be between 1 and " + std::to_string(quorvel::maxRecordedFrames));
    }
    if (!size.empty()) {
        const auto parsed = quorvel::readSize(size);
        if (!parsed) {
            return bad("--size must be WxH, each from 16 to 4096 pixels");
        }
        record.size = plot.size = valueMap.size = *parsed;
    }
    // Recording draws with OpenGL, which needs a display (unless a platform without one was
    // asked for).
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool windowSystem =
        platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
    if (recording && !quorvel::hasDisplay() && windowSystem) {
        std::cerr << "quorvel: drawing needs OpenGL on a display; run it on one, or under "
                     "xvfb-run\n";
        return 1;
    }
    // A chart or a map is drawn without any window system: it is never shown.
    if (plotting || mapping) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    if (recording || plotting || mapping) {
        qInstallMessageHandler(onlyQtsErrors);
    }
    quorvel::CMainApp app(argc, argv);
    if (recording) {
        return quorvel::recordPlayback(record);
    }
    if (plotting) {
        return quorvel::plotLogs(plot);
    }
    if (mapping) {
        valueMap.world = record.world;
        if (headingOption->count() > 0) {
            valueMap.headingDegrees = heading;
        }
        return quorvel::drawValueMap(valueMap);
    }
    quorvel::programWorld();
    return app.InitInstance(QString::fromStdString(screenshot)) ? app.exec() : 0;
}
