#include "app/training_window.h"

#include "app/curve_chart.h"
#include "panel/panel_platform.h"
#include "training/evaluation_curve.h"
#include "training/progress.h"
#include "training/training.h"

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
constexpr qint64 sliceMs = 15;         // runs between two looks at the event queue
constexpr qint64 figuresEveryMs = 100; // how often the figures are refreshed
} // namespace

TrainingWindow::TrainingWindow(TrainingSession& session, const TrainingWatch& watch,
                               QWidget* parent)
    : QDialog(parent), session_(session), watch_(watch) {
    setWindowTitle("Training");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    const TrainingSettings& s = session.settings();
    const int window = watch.curve->window();

    bar_ = new QProgressBar;
    bar_->setRange(0, s.runs);
    bar_->setValue(0);
    runs_ = new QLabel;
    goals_ = new QLabel;
    collisions_ = new QLabel;
    misses_ = new QLabel;
    rate_ = new QLabel;
    elapsed_ = new QLabel;
    left_ = new QLabel;
    auto* figures = new QFormLayout;
    figures->addRow("Runs:", runs_);
    figures->addRow("Goals:", goals_);
    figures->addRow("Collisions:", collisions_);
    figures->addRow("Misses:", misses_);
    figures->addRow("Speed:", rate_);
    figures->addRow("Elapsed:", elapsed_);
    figures->addRow("Time left:", left_);
    chart_ = new CurveChart("run", window);
    chart_->setXRange(s.runs);
    cancel_ = new QPushButton("Cancel");
    cancel_->setToolTip("Stop after the run in progress and keep what was learnt");
    connect(cancel_, &QPushButton::clicked, this, &TrainingWindow::reject);

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
    layout->addLayout(figures);
    layout->addWidget(chart_, 1);
    layout->addLayout(buttons);

    slices_ = new QTimer(this);
    slices_->setInterval(0);
    connect(slices_, &QTimer::timeout, this, &TrainingWindow::runSlice);
    clock_.start();
    showFigures();
    slices_->start();
}

TrainingWindow::~TrainingWindow() = default;

void TrainingWindow::reject() {
    if (finished_) {
        done(cancelled_ ? QDialog::Rejected : QDialog::Accepted);
        return;
    }
    cancelRequested_ = true;
    cancel_->setEnabled(false);
    cancel_->setText("Stopping...");
}

void TrainingWindow::runSlice() {
    QElapsedTimer slice;
    slice.start();
    while (!cancelRequested_ && !session_.done() && slice.elapsed() < sliceMs) {
        const TrainingSession::RunReport report = session_.runOne();
        if (report.evaluation) {
            watch_.curve->add(report.run, report.end);
        }
    }
    if (cancelRequested_ || session_.done()) {
        finishRuns();
        return;
    }
    if (clock_.elapsed() - lastShown_ >= figuresEveryMs) {
        showFigures();
    }
}

void TrainingWindow::finishRuns() {
    slices_->stop();
    cancelled_ = cancelRequested_ && !session_.done();
    finished_ = true;
    showFigures();
    cancel_->setText("Close");
    cancel_->setToolTip("Close this window");
    cancel_->setEnabled(true);
    cancel_->setDefault(true);
    for (const std::string& message : watch_.finish(cancelled_)) {
        QMessageBox box(QMessageBox::NoIcon, "Quorvel", QString::fromStdString(message),
                        QMessageBox::Ok, this);
        box.exec();
    }
}

void TrainingWindow::showFigures() {
    lastShown_ = clock_.elapsed();
    // The curve's new points, in one redraw.
    const std::vector<CurvePoint>& points = watch_.curve->points();
    const int fresh = static_cast<int>(points.size()) - pointsShown_;
    chart_->append(points.data() + pointsShown_, fresh);
    pointsShown_ += fresh;
    const ProgressFigures f = progressFigures(session_.progress(), clock_.elapsed() / 1000.0);
    bar_->setValue(f.counts.runsDone);
    runs_->setText(QString::fromStdString(formatRunsDone(f)));
    goals_->setText(QString::number(f.counts.goals));
    collisions_->setText(QString::number(f.counts.collisions));
    misses_->setText(QString::number(f.counts.misses));
    rate_->setText(QString::fromStdString(formatRate(f)));
    elapsed_->setText(QString::fromStdString(formatDuration(f.elapsedSeconds)));
    left_->setText(QString::fromStdString(formatDuration(f.remainingSeconds)));
}

} // namespace quorvel
