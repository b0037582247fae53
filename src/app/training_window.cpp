#include "app/training_window.h"

#include "app/curve_chart.h"
#include "training/evaluation_curve.h"
#include "training/progress.h"
#include "training/training.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quorvel {

namespace {
constexpr qint64 sliceMs = 15;         // runs between two looks at the event queue
constexpr qint64 figuresEveryMs = 100; // how often the figures are refreshed
constexpr int maxCurvePoints = 2000;   // points per series, spread over the whole training
} // namespace

TrainingWindow::TrainingWindow(TrainingSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    setWindowTitle("Training");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    const TrainingSettings& s = session.settings();
    const int expected = expectedEvaluations(s);
    const int window = curveWindow(expected);
    shares_ = std::make_unique<MovingShares>(window);
    pointStride_ = std::max(1, expected / maxCurvePoints);

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
    connect(cancel_, &QPushButton::clicked, this, &TrainingWindow::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
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
            const CurvePoint point = shares_->add({report.run, report.end});
            if (evaluations_++ % pointStride_ == 0) {
                chart_->append(point);
            }
        }
    }
    if (cancelRequested_ || session_.done()) {
        slices_->stop();
        cancelled_ = cancelRequested_ && !session_.done();
        showFigures();
        done(cancelled_ ? QDialog::Rejected : QDialog::Accepted);
        return;
    }
    if (clock_.elapsed() - lastShown_ >= figuresEveryMs) {
        showFigures();
    }
}

void TrainingWindow::showFigures() {
    lastShown_ = clock_.elapsed();
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
