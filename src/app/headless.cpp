#include "app/headless.h"

#include "app/curve_chart.h"
#include "common/files.h"
#include "display/gif_writer.h"
#include "display/offscreen_render.h"
#include "display/value_map_picture.h"
#include "panel/panel_commands.h"
#include "watching/value_probe.h"
#include "world/program_world.h"
#include "world/world.h"

#include <QBuffer>
#include <QPixmap>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <numbers>
#include <regex>

namespace quorvel {

namespace {

void say(const std::string& message) {
    std::string text = message;
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    std::cerr << "quorvel: " << text << '\n';
}

// The panel's platform without a window: fields from the options, the trails box as asked,
// the save dialog answered with the output, pictures drawn off screen, messages on standard
// error. The playback timer is the caller's loop.
class HeadlessPlatform : public PanelPlatform {
  public:
    HeadlessPlatform(const World& world, const RecordOptions& options)
        : world_(world), options_(options) {}

    bool failed() const { return failed_; }

    std::string fieldText(Field) override { return {}; }
    bool isChecked(CheckBox box) override { return box == CheckBox::trails && options_.trails; }
    LearnerKind learner() override { return LearnerKind::online; }
    SliderState slider() override { return {0, 100, 50}; }
    void setSliderPosition(int) override {}
    void showMessage(const std::string& text) override { say(text); }
    int ask(const std::string&, const std::vector<std::string>&) override { return -1; }
    std::string askOpenPath(const std::string&, const char*) override { return {}; }
    std::string askSavePath(const std::string&, const char*, const std::string&) override {
        return options_.output;
    }
    std::vector<std::string> askOpenPaths(const std::string&, const char*) override { return {}; }
    void startTimer(int, int) override {}
    void stopTimer(int) override {}
    void redraw() override {}
    void showActionValues(const ActionValues&) override {}
    void showCaption(const std::string&) override {}
    TrainingOutcome runTraining(TrainingJob& job, const std::string&) override {
        return job.finish();
    }
    void showEvaluationCurves(const std::string&, const std::vector<LabelledCurve>&,
                              const std::string&, const std::vector<FigureLine>&) override {}
    void endDialog(bool) override {}
    std::optional<int> askNumber(const std::string&, const std::string&, int, int, int) override {
        return std::nullopt;
    }
    bool showProgress(const std::string&, int, int) override { return true; }
    void showPace(int, bool) override {}

    std::string startRecording(const std::string& path) override {
        if (recorder_.open(path, options_.size.width(), options_.size.height(),
                           playbackPeriodMs / 10) != FileWriteStatus::ok) {
            failed_ = true;
            return "Could not create \"" + path + "\"; nothing was recorded.";
        }
        return {};
    }
    void recordFrame() override {
        const QImage picture = renderWorldImage(world_, options_.size);
        if (picture.isNull() || !recorder_.addFrame(picture)) {
            failed_ = true;
        }
    }
    std::string finishRecording() override {
        if (failed_ || recorder_.finish() != FileWriteStatus::ok) {
            recorder_.abandon();
            failed_ = true;
            return "Could not write \"" + options_.output + "\"; the recording was not saved.";
        }
        return {};
    }

  private:
    const World& world_;
    const RecordOptions& options_;
    GifWriter recorder_;
    bool failed_ = false;
};

} // namespace

namespace {

// Writes the picture as a PNG, whole or not at all; says what went wrong.
int savePicture(const QImage& image, const std::string& path, const std::string& notDrawn,
                const std::string& notWritten) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        say(notDrawn);
        return 1;
    }
    const FileWriteStatus written = writeFileAtomically(path, [&](std::FILE* file) {
        return std::fwrite(png.constData(), 1, static_cast<std::size_t>(png.size()), file) ==
               static_cast<std::size_t>(png.size());
    });
    if (written != FileWriteStatus::ok) {
        say("could not write \"" + path + "\"; " + notWritten);
        return 1;
    }
    return 0;
}

} // namespace

std::optional<QSize> readSize(const std::string& text) {
    std::smatch match;
    static const std::regex form("([0-9]{1,4})x([0-9]{1,4})");
    if (!std::regex_match(text, match, form)) {
        return std::nullopt;
    }
    const QSize size(std::stoi(match[1]), std::stoi(match[2]));
    if (size.width() < 16 || size.height() < 16 || size.width() > 4096 || size.height() > 4096) {
        return std::nullopt;
    }
    return size;
}

namespace {

// Builds the program's World as quorvel-train builds it: 0, or the exit status with what went
// wrong said.
int buildWorld(const WorldOptions& options) {
    WorldPlan plan;
    std::vector<std::string> messages;
    const bool ok = planTrainersWorld(options, plan, messages);
    for (const std::string& message : messages) {
        say(message);
    }
    if (!ok) {
        return 2;
    }
    if (const std::string problem = buildTrainersWorld(plan); !problem.empty()) {
        say(problem);
        return 1;
    }
    return 0;
}

} // namespace

int recordPlayback(const RecordOptions& options) {
    if (const int status = buildWorld(options.world); status != 0) {
        return status;
    }
    World& world = programWorld();
    if (renderWorldImage(world, {16, 16}).isNull()) {
        say("drawing needs OpenGL on a display; run it on one, or under xvfb-run");
        return 1;
    }
    // Robot and goal placed as the panel places them.
    HeadlessPlatform platform(world, options);
    PanelCommands commands(world, platform);
    commands.OnPlaceRobotAndGoal();
    commands.OnRecordPlayback(options.frames);
    while (commands.playing()) {
        commands.OnTimer(playbackTimerId);
    }
    return platform.failed() ? 1 : 0;
}

int plotLogs(const PlotOptions& options) {
    const LogCurves read = readLogCurves(options.logs);
    if (!read.error.empty()) {
        say(read.error);
        return 1;
    }
    std::vector<LabelledCurve> curves = read.curves;
    curves.front().reachableShare = options.reachableShare;
    CurveChart chart(evaluationAxisTitle, curves.front().window);
    chart.setMinimumSize(0, 0);
    chart.resize(options.size);
    chart.setCurves(curves);
    const QImage image = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    return savePicture(image, options.output, "could not draw the curves", "nothing was plotted");
}

int drawValueMap(const ValueMapOptions& options) {
    if (options.headingDegrees && !std::isfinite(*options.headingDegrees)) {
        say("--heading must be a number of degrees");
        return 2;
    }
    if (const int status = buildWorld(options.world); status != 0) {
        return status;
    }
    World& world = programWorld();
    // A heading reduced exactly to one turn (fmod is exact), shown as reduced.
    const double degrees = options.headingDegrees ? std::fmod(*options.headingDegrees, 360.0)
                                                  : std::atan2(world.heading.y, world.heading.x) *
                                                        180 / std::numbers::pi;
    const double angle = degrees * std::numbers::pi / 180;
    const Vec2 heading =
        options.headingDegrees ? Vec2{std::cos(angle), std::sin(angle)} : world.heading;
    ValueMap map;
    ValueProbe().map(world, heading, map);
    QString title = QString("Best value on each square, heading %1\u00b0")
                        .arg(options.headingDegrees ? QString::number(degrees, 'g', 6)
                                                    : QString::number(std::lround(degrees)));
    if (!world.learner.network.finite()) {
        title += " (grey: the network holds values that are not finite numbers)";
    }
    const QImage image = valueMapPicture(world, map, heading, options.size, title);
    return savePicture(image, options.output, "could not draw the value map",
                       "no value map was written");
}

} // namespace quorvel
