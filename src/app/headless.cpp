#include "app/headless.h"

#include "app/curve_chart.h"
#include "app/main_app.h"
#include "common/files.h"
#include "common/random.h"
#include "display/gif_writer.h"
#include "display/offscreen_render.h"
#include "display/scene.h"
#include "display/view_overlays.h"
#include "panel/panel_commands.h"
#include "panel/panel_fields.h"
#include "training/value_probe.h"
#include "world/world.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
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

    std::string fieldText(Field field) override {
        switch (field) {
        case Field::obstacles:
            return options_.world.obstacles;
        case Field::sides:
            return options_.world.sides;
        case Field::radius:
            return options_.world.radius;
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
    std::string askSavePath(const std::string&, const char*, const std::string&) override {
        return options_.output;
    }
    std::vector<std::string> askOpenPaths(const std::string&, const char*) override { return {}; }
    void startTimer(int, int) override {}
    void stopTimer(int) override {}
    void redraw() override {}
    void showActionValues(const ActionValues&) override {}
    void showCaption(const std::string&) override {}
    void runTraining(TrainingSession&, const TrainingWatch&) override {}
    void showEvaluationCurves(const std::string&, const std::vector<LabelledCurve>&,
                              const std::string&, const std::vector<FigureLine>&) override {}
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

// Validates the field and the seed, then builds the program's World as quorvel-train does up to
// its field: the seed, the World, the weights. 0, or the exit status with what went wrong said.
int buildTrainersWorld(const WorldOptions& options, GenerateRequest& field) {
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
    if (seed) {
        random::setState(*seed);
    }
    World& world = programWorld();
    if (!options.loadWeights.empty()) {
        const WeightFileResult loaded = world.learner.loadWeights(options.loadWeights.c_str());
        if (!loaded) {
            say(describeWeightFileResult(loaded, options.loadWeights, false));
            return 1;
        }
    }
    return 0;
}

} // namespace

int recordPlayback(const RecordOptions& options) {
    GenerateRequest field;
    if (const int status = buildTrainersWorld(options.world, field); status != 0) {
        return status;
    }
    World& world = programWorld();
    if (renderWorldImage(world, {16, 16}).isNull()) {
        say("drawing needs OpenGL on a display; run it on one, or under xvfb-run");
        return 1;
    }
    // Then the field, and robot and goal placed, as the panel makes and places them.
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
    const LogCurves read = readLogCurves(options.logs);
    if (!read.error.empty()) {
        say(read.error);
        return 1;
    }
    const std::vector<LabelledCurve>& curves = read.curves;
    CurveChart chart(evaluationAxisTitle, curves.front().window);
    chart.setMinimumSize(0, 0);
    chart.resize(options.size);
    chart.setCurves(curves);
    const QImage image = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    return savePicture(image, options.output, "could not draw the curves", "nothing was plotted");
}

namespace {

// The part of the arena a value map shows: the floor (-104..94) and a little around it.
constexpr double mapLow = -110;
constexpr double mapHigh = 100;
constexpr int colourBarWidth = 90;
constexpr int titleHeight = 28;

// The square the arena is drawn in: as large as fits left of the colour bar, under the title.
QRectF mapArea(QSize size) {
    const double side = std::max(
        1.0, std::min<double>(size.width() - colourBarWidth - 16, size.height() - titleHeight - 8));
    return {8, static_cast<double>(titleHeight), side, side};
}

} // namespace

QPointF valueMapPixel(Vec2 point, QSize size) {
    const QRectF area = mapArea(size);
    const double scale = area.width() / (mapHigh - mapLow);
    return {area.left() + (point.x - mapLow) * scale, area.bottom() - (point.y - mapLow) * scale};
}

int drawValueMap(const ValueMapOptions& options) {
    if (options.headingDegrees && !std::isfinite(*options.headingDegrees)) {
        say("--heading must be a number of degrees");
        return 2;
    }
    GenerateRequest field;
    if (const int status = buildTrainersWorld(options.world, field); status != 0) {
        return status;
    }
    World& world = programWorld();
    generateRequestedField(world, field);
    const double angle = options.headingDegrees ? *options.headingDegrees * std::numbers::pi / 180
                                                : std::atan2(world.heading.y, world.heading.x);
    const Vec2 heading =
        options.headingDegrees ? Vec2{std::cos(angle), std::sin(angle)} : world.heading;
    ValueMap map;
    ValueProbe().map(world, heading, map);

    const QSize size = options.size;
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = mapArea(size);
    const double scale = area.width() / (mapHigh - mapLow);
    auto at = [&](Vec2 point) { return valueMapPixel(point, size); };
    // The squares as the view's floor lays them out: side 8 on a pitch of 10.
    for (int column = 0; column < ValueMap::side; ++column) {
        for (int row = 0; row < ValueMap::side; ++row) {
            const QPointF c = at(ValueMap::squareCentre(column, row));
            const double half = 4 * scale;
            p.fillRect(QRectF(c.x() - half, c.y() - half, 2 * half, 2 * half),
                       qColour(valueColour(map.values[column][row])));
        }
    }
    p.setPen(QPen(QColor(160, 160, 255), std::max(1.5, 0.8 * scale)));
    for (int k = 0; k < world.obstacleCount; ++k) {
        const Obstacle& o = world.obstacles[k];
        QPolygonF outline;
        for (const Vec2 vertex : o.vertices) {
            outline << at(vertex);
        }
        p.drawPolygon(outline);
    }
    p.setPen(QPen(QColor(0, 255, 0), std::max(1.5, 0.6 * scale)));
    p.setBrush(QColor(0, 255, 0, 90));
    p.drawEllipse(at(world.goal), world.goalRadius * scale, world.goalRadius * scale);
    // The robot at its start, turned to the heading the map was computed for.
    const Vec2 centre = 0.5 * (world.rear + world.front);
    const Vec2 half = (world.length / 2) * heading;
    QPainterPath body;
    body.moveTo(at(centre - half));
    body.lineTo(at(centre + half));
    p.strokePath(body, QPen(QColor(255, 200, 0), world.width * scale, Qt::SolidLine, Qt::RoundCap));
    p.strokePath(body,
                 QPen(QColor(120, 60, 0), std::max(1.0, 0.4 * scale), Qt::SolidLine, Qt::RoundCap));
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(0, 0, 0));
    p.drawEllipse(at(centre + half), 1.2 * scale, 1.2 * scale); // the front

    // The colour bar and the title.
    const QRectF bar(area.right() + 24, area.top() + 16, 18, area.height() - 40);
    p.fillRect(bar, valueScale(bar.bottomLeft(), bar.topLeft()));
    p.setPen(QColor(230, 230, 230));
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    for (const double value : {0.0, 0.5, 1.0}) {
        const double y = bar.bottom() - value * bar.height();
        p.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + 4, y));
        p.drawText(QPointF(bar.right() + 7, y + 4), QString::number(value, 'f', 1));
    }
    p.drawText(QPointF(bar.left() - 8, bar.top() - 6), "value");
    p.drawText(QPointF(8, 18), QString("Best value on each square, heading %1\u00b0")
                                   .arg(std::lround(angle * 180 / std::numbers::pi)));
    p.end();
    return savePicture(image, options.output, "could not draw the value map",
                       "no value map was written");
}

} // namespace quorvel
