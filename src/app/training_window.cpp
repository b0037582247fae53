#include "app/training_window.h"

#include "app/curve_chart.h"
#include "display/gl_view.h"
#include "panel/panel_commands.h"
#include "panel/panel_platform.h"
#include "training/evaluation_curve.h"
#include "training/progress.h"
#include "training/training.h"
#include "world/world.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quorvel {

namespace {
constexpr int tickMs = 100;            // figures, and one trial step, as playback steps
constexpr int heldEndTicks = 10;       // an ended trial stays a second before the next begins
constexpr qint64 mapEveryMs = 500;     // the value map at most twice a second
constexpr int arenaCapsuleDetail = 10; // the trail drawn lighter than in the panel's view
} // namespace

std::vector<QLabel*> addFigureRows(QFormLayout& form, const std::vector<FigureLine>& lines) {
    std::vector<QLabel*> texts;
    for (const FigureLine& line : lines) {
        auto* text = new QLabel(QString::fromStdString(line.text));
        text->setObjectName(QString::fromStdString(line.label).chopped(1)); // "Runs", ...
        form.addRow(QString::fromStdString(line.label), text);
        texts.push_back(text);
    }
    return texts;
}

TrainingWindow::TrainingWindow(TrainingSession& session, const TrainingWatch& watch,
                               const TrialSettings& trials, QWidget* parent)
    : QDialog(parent), session_(session), watch_(watch), trialSettings_(trials),
      runner_(session, watch.curve), shown_(session.progress()),
      network_(session.world().learner.network) {
    setWindowTitle("Training");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    const TrainingSettings& s = session.settings();
    const int window = watch.curve->window();

    bar_ = new QProgressBar;
    bar_->setRange(0, s.runs);
    bar_->setValue(0);
    auto* figures = new QFormLayout;
    figures_ = addFigureRows(*figures, figureLines(progressFigures(shown_, 0)));
    chart_ = new CurveChart(runAxisTitle, window);
    chart_->setXRange(s.runs);
    chart_->setMinimumSize(560, 280);
    cancel_ = new QPushButton("Cancel");
    cancel_->setToolTip("Stop after the run in progress and keep what was learnt");
    connect(cancel_, &QPushButton::clicked, this, &TrainingWindow::reject);

    auto* right = new QVBoxLayout;
    right->addLayout(figures);
    right->addWidget(chart_, 1);
    auto* columns = new QHBoxLayout;
    if (trials.start != nullptr) {
        trial_ = std::make_unique<TrialDrive>(*trials.start, trials.randomState);
        arena_ = new CGLView(trial_->world());
        arena_->setMinimumSize(520, 400);
        arena_->setToolTip("Trial drives: the network as it is now drives the robot from where "
                           "you left it, step by step; earlier trials stay behind in grey");
        trialCaption_ = new QLabel;
        trialCaption_->setObjectName("trialCaption");
        trialsBox_ = new QCheckBox("Trial drives");
        trialsBox_->setChecked(true);
        trialsBox_->setToolTip("Drive the trial again and again while the network learns");
        auto* left = new QVBoxLayout;
        left->addWidget(arena_, 1);
        left->addWidget(trialCaption_);
        left->addWidget(trialsBox_);
        columns->addLayout(left, 1);
    }
    columns->addLayout(right, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    if (!watch.notice.empty()) {
        auto* notice = new QLabel(QString::fromStdString(watch.notice));
        notice->setObjectName("notice");
        notice->setWordWrap(true);
        layout->addWidget(notice);
    }
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    ticks_ = new QTimer(this);
    ticks_->setInterval(tickMs);
    connect(ticks_, &QTimer::timeout, this, &TrainingWindow::tick);
    clock_.start();
    if (trial_) {
        beginTrial();
    }
    showFigures();
    runner_.start();
    ticks_->start();
}

TrainingWindow::~TrainingWindow() = default;

void TrainingWindow::reject() {
    if (finished_) {
        done(cancelled_ ? QDialog::Rejected : QDialog::Accepted);
        return;
    }
    cancelRequested_ = true;
    runner_.cancel();
    cancel_->setEnabled(false);
    cancel_->setText("Stopping...");
}

void TrainingWindow::tick() {
    if (!finished_) {
        showFigures();
        if (runner_.finished()) {
            finishRuns();
        }
    }
    if (trial_) {
        stepTrial();
    }
}

void TrainingWindow::beginTrial() {
    const int runs = runner_.copyNetwork(network_);
    trial_->begin(network_, runs);
    heldTicks_ = 0;
    showArena();
}

void TrainingWindow::stepTrial() {
    if (!trialsBox_->isChecked()) {
        return;
    }
    if (trial_->ended()) {
        // The finished network's trial is the last; earlier ones are followed by the next.
        if (finished_ && finalTrial_) {
            return;
        }
        if (++heldTicks_ >= heldEndTicks) {
            finalTrial_ = finished_;
            beginTrial();
        }
        return;
    }
    trial_->step(); // computed only now, as it is shown
    if (trial_->ended()) {
        chart_->addTrialEnd(trial_->run(), trial_->end());
    }
    showArena();
}

void TrainingWindow::showArena() {
    SceneExtras extras;
    extras.earlierPaths = &trial_->earlierPaths();
    extras.capsuleDetail = arenaCapsuleDetail;
    if (trialSettings_.valueMap) {
        if (clock_.elapsed() - mapRefreshed_ >= mapEveryMs || mapWorld_ == nullptr) {
            mapRefreshed_ = clock_.elapsed();
            if (mapWorld_ == nullptr) {
                mapWorld_ = std::make_unique<World>(trial_->world());
            } else {
                *mapWorld_ = trial_->world();
            }
            runner_.copyNetwork(mapWorld_->learner.network);
            probe_.map(*mapWorld_, map_);
        }
        extras.valueMap = &map_;
    }
    arena_->setExtras(extras);
    ViewOverlays overlays;
    overlays.legend = trialSettings_.valueMap;
    if (trialSettings_.actionValues && trial_->steps() > 0) {
        overlays.actionValues = trial_->lastValues();
    }
    arena_->setOverlays(overlays);
    trialCaption_->setText(QString::fromStdString(trial_->caption()));
    arena_->Redraw();
}

void TrainingWindow::finishRuns() {
    finished_ = true;
    cancelled_ = runner_.cancelled();
    showFigures();
    cancel_->setText("Close");
    cancel_->setToolTip("Close this window");
    cancel_->setEnabled(true);
    cancel_->setDefault(true);
    // The last trial drives the network as the training left it.
    if (trial_ && trial_->run() < shown_.runsDone) {
        finalTrial_ = true;
        beginTrial();
    }
    for (const std::string& message : watch_.finish(cancelled_)) {
        QMessageBox box(QMessageBox::NoIcon, "Quorvel", QString::fromStdString(message),
                        QMessageBox::Ok, this);
        box.exec();
    }
}

void TrainingWindow::showFigures() {
    // The curve's new points, in one redraw.
    const std::vector<CurvePoint> fresh = runner_.curvePoints(pointsShown_);
    chart_->append(fresh.data(), static_cast<int>(fresh.size()));
    pointsShown_ += fresh.size();
    shown_ = runner_.progress();
    const ProgressFigures f = progressFigures(shown_, clock_.elapsed() / 1000.0);
    bar_->setValue(f.counts.runsDone);
    const std::vector<FigureLine> lines = figureLines(f, finished_ && cancelled_);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        figures_[i]->setText(QString::fromStdString(lines[i].text));
    }
}

} // namespace quorvel
