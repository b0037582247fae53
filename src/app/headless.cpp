#include "app/headless.h"

#include "app/curve_chart.h"
#include "app/main_app.h"
#include "common/files.h"
#include "common/random.h"
#include "display/gif_writer.h"
#include "display/offscreen_render.h"
#include "panel/panel_commands.h"
#include "panel/panel_fields.h"
#include "world/world.h"

#include <QBuffer>
#include <QPixmap>

#include <cstdio>
#include <iostream>
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

    std::string fieldText(Field field) override {
        switch (field) {
        case Field::obstacles:
            return options_.obstacles;
        case Field::sides:
            return options_.sides;
        case Field::radius:
            return options_.radius;
        default:
            return {};
        }
    }
    bool isChecked(CheckBox box) override { return box == CheckBox::trails && options_.trails; }
    SliderState slider() override { return {0, 100, 50}; }
    void setSliderPosition(int) override {}
    void showMessage(const std::string& text) override { say(text); }
    int ask(const std::string&, const std::vector<std::string>&) override { return -1; }
    std::string askOpenPath(const std::string&, const char*) override { return {}; }
    std::string askSavePath(const std::string&, const char*) override { return options_.output; }
    std::vector<std::string> askOpenPaths(const std::string&, const char*) override { return {}; }
    void startTimer(int, int) override {}
    void stopTimer(int) override {}
    void redraw() override {}
    void runTraining(TrainingSession&, const TrainingWatch&) override {}
    void showEvaluationCurves(const std::string&, const std::vector<LabelledCurve>&,
                              const std::string&) override {}
    void endDialog(bool) override {}

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

int recordPlayback(const RecordOptions& options) {
    GenerateRequest field;
    const Validation v =
        validateGenerate({options.obstacles, options.sides, options.radius}, field);
    for (const std::string& message : v.messages) {
        say(message);
    }
    if (!v.ok) {
        return 2;
    }
    std::optional<std::uint32_t> seed;
    if (!options.seed.empty() && !(seed = readSeed(options.seed))) {
        say(seedMessage(options.seed));
        return 2;
    }
    // Built as quorvel-train builds it: the seed, then the World (its network draws first),
    // then the weights and the field; then robot and goal placed as the panel places them.
    if (seed) {
        random::setState(*seed);
    }
    World& world = programWorld();
    if (renderWorldImage(world, {16, 16}).isNull()) {
        say("drawing needs OpenGL on a display; run it on one, or under xvfb-run");
        return 1;
    }
    if (!options.loadWeights.empty()) {
        const WeightFileResult loaded = world.learner.loadWeights(options.loadWeights.c_str());
        if (!loaded) {
            say(describeWeightFileResult(loaded, options.loadWeights, false));
            return 1;
        }
    }
    HeadlessPlatform platform(world, options);
    PanelCommands commands(world, platform);
    commands.OnGenerate();
    commands.OnPlaceRobotAndGoal();
    commands.OnRecordPlayback(options.frames);
    while (commands.playing()) {
        commands.OnTimer(playbackTimerId);
    }
    return platform.failed() ? 1 : 0;
}

int plotLogs(const PlotOptions& options) {
    std::vector<LabelledCurve> curves;
    for (const std::string& path : options.logs) {
        const EvaluationLog log = readEvaluationLog(path);
        if (!log.error.empty()) {
            say(log.error);
            return 1;
        }
        curves.push_back(logCurve(path, log));
    }
    CurveChart chart("evaluation", curves.front().window);
    chart.setMinimumSize(0, 0);
    chart.resize(options.size);
    chart.setCurves(curves);
    const QImage image = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        say("could not draw the curves");
        return 1;
    }
    const FileWriteStatus written = writeFileAtomically(options.output, [&](std::FILE* file) {
        return std::fwrite(png.constData(), 1, static_cast<std::size_t>(png.size()), file) ==
               static_cast<std::size_t>(png.size());
    });
    if (written != FileWriteStatus::ok) {
        say("could not write \"" + options.output + "\"; nothing was plotted");
        return 1;
    }
    return 0;
}

} // namespace quorvel
