#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/curve_chart.h"
#include "app/file_dialogs.h"
#include "app/panel_layout.h"
#include "app/training_window.h"
#include "display/gl_view.h"
#include "world/world.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

// What the panel does for its commands: CMainDialog as the commands' platform.
namespace quorvel {

std::string CMainDialog::fieldText(Field field) {
    return edits_[editIndex(field)]->text().toStdString();
}

bool CMainDialog::isChecked(CheckBox box) {
    return (box == CheckBox::qLearn ? qLearn_ : trails_)->isChecked();
}

SliderState CMainDialog::slider() {
    return {slider_->minimum(), slider_->maximum(), slider_->value()};
}

void CMainDialog::setSliderPosition(int position) {
    slider_->setValue(position);
}

void CMainDialog::showMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, "Quorvel", QString::fromStdString(text), QMessageBox::Ok,
                    this);
    box.exec();
}

int CMainDialog::ask(const std::string& text, const std::vector<std::string>& answers) {
    QMessageBox box(QMessageBox::Warning, "Quorvel", QString::fromStdString(text),
                    QMessageBox::NoButton, this);
    std::vector<QPushButton*> buttons;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        // The last answer is the cautious one: Escape and the close box give it.
        const bool last = i + 1 == answers.size();
        buttons.push_back(box.addButton(QString::fromStdString(answers[i]),
                                        last ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
    }
    if (!buttons.empty()) {
        box.setDefaultButton(buttons.front());
        box.setEscapeButton(buttons.back());
    }
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string CMainDialog::askOpenPath(const std::string& title, const char* filter) {
    return files_.askOpenFile(title, filter);
}

std::string CMainDialog::askSavePath(const std::string& title, const char* filter,
                                     const std::string& proposedName) {
    return files_.askSaveFile(title, filter, proposedName);
}

std::vector<std::string> CMainDialog::askOpenPaths(const std::string& title, const char* filter) {
    return files_.askOpenFiles(title, filter);
}

std::optional<int> CMainDialog::askNumber(const std::string& title, const std::string& label,
                                          int proposed, int minimum, int maximum) {
    bool ok = false;
    const int value =
        QInputDialog::getInt(this, QString::fromStdString(title), QString::fromStdString(label),
                             proposed, minimum, maximum, 1, &ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

bool CMainDialog::showProgress(const std::string& text, int done, int total) {
    if (done >= total) {
        progress_.reset();
        return true;
    }
    if (!progress_) {
        progress_ =
            std::make_unique<QProgressDialog>(QString::fromStdString(text), "Stop", 0, total, this);
        progress_->setWindowTitle("Quorvel");
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(0);
    }
    progress_->setValue(done); // shows it, and lets the user stop
    return !progress_->wasCanceled();
}

LearnerKind CMainDialog::learner() {
    return learner_->currentIndex() == 1 ? LearnerKind::hindsight : LearnerKind::online;
}

void CMainDialog::showPace(int speed, bool paused) {
    speed_->setCurrentIndex(speed);
    pause_->setText(paused ? "Go On" : "Pause");
}

void CMainDialog::startTimer(int id, int milliseconds) {
    if (id == playbackTimerId) {
        playbackTicks_->start(milliseconds);
    }
}

void CMainDialog::stopTimer(int id) {
    if (id == playbackTimerId) {
        playbackTicks_->stop();
    }
}

void CMainDialog::redraw() {
    updateViewDisplays();
}

void CMainDialog::showActionValues(const ActionValues& values) {
    actionValues_ = values;
    haveActionValues_ = true;
}

void CMainDialog::showCaption(const std::string& text) {
    caption_ = QString::fromStdString(text);
}

void CMainDialog::showValueMap(bool on) {
    valueMapAction_->setChecked(on);
    updateViewDisplays();
}

void CMainDialog::showActionValuesOverlay(bool on) {
    actionValuesAction_->setChecked(on);
    updateViewDisplays();
}

bool CMainDialog::valueMapShown() const {
    return valueMapAction_->isChecked();
}

bool CMainDialog::actionValuesShown() const {
    return actionValuesAction_->isChecked();
}

bool CMainDialog::valueMapStretched() const {
    return stretchAction_->isChecked();
}

void CMainDialog::updateViewDisplays() {
    SceneExtras extras;
    // While a training runs, the view keeps the still copy it was given, map included.
    if (valueMapShown() && !training_) {
        probe_.map(world_, valueMap_);
    }
    ViewOverlays overlays;
    if (valueMapShown()) {
        extras.valueMap = &valueMap_;
        if (valueMapStretched()) {
            const ValueRange range = rangeOf(valueMap_);
            extras.valueLow = overlays.legendLow = range.low;
            extras.valueHigh = overlays.legendHigh = range.high;
            overlays.legendStretched = true;
        }
    }
    view_->setExtras(extras);
    overlays.legend = valueMapShown();
    overlays.legendNotANumber = valueMapShown() && !world_.learner.network.finite();
    if (actionValuesShown() && haveActionValues_) {
        overlays.actionValues = actionValues_;
    }
    overlays.caption = caption_;
    view_->setOverlays(overlays);
    view_->Redraw();
}

TrainingOutcome CMainDialog::runTraining(TrainingJob& job, const std::string& notice) {
    // The runs change the World on a thread of their own: meanwhile the view shows it as it
    // was when they started, and the trials start from there.
    view_->setWorld(job.startWorld());
    training_ = true;
    TrialDisplays displays;
    displays.valueMap = valueMapShown();
    displays.actionValues = actionValuesShown();
    displays.stretched = valueMapStretched();
    TrainingOutcome outcome;
    {
        TrainingWindow window(job, notice, displays, this);
        window.exec();
        outcome = window.outcome();
    }
    training_ = false;
    view_->setWorld(world_);
    return outcome;
}

void CMainDialog::showEvaluationCurves(const std::string& title,
                                       const std::vector<LabelledCurve>& curves,
                                       const std::string& xTitle,
                                       const std::vector<FigureLine>& figures) {
    QDialog plot(this);
    plot.setWindowTitle(QString::fromStdString(title));
    auto* chart = new CurveChart(QString::fromStdString(xTitle), curves.front().window, &plot);
    chart->setCurves(curves);
    auto* layout = new QVBoxLayout(&plot);
    if (!figures.empty()) {
        auto* form = new QFormLayout;
        addFigureRows(*form, figures);
        layout->addLayout(form);
    }
    layout->addWidget(chart);
    auto* close = new QPushButton("Close", &plot);
    connect(close, &QPushButton::clicked, &plot, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
    lastPlot_ = chart;
    plot.exec();
    lastPlot_ = nullptr;
}

void CMainDialog::endDialog(bool ok) {
    done(ok ? QDialog::Accepted : QDialog::Rejected);
}

std::string CMainDialog::startRecording(const std::string& path) {
    const qreal ratio = view_->devicePixelRatioF();
    const int width = static_cast<int>(view_->width() * ratio);
    const int height = static_cast<int>(view_->height() * ratio);
    recordingPath_ = path;
    // A tick every 100 ms: each picture is shown for 10 hundredths of a second.
    if (recorder_.open(path, width, height, playbackPeriodMs / 10) != FileWriteStatus::ok) {
        recorder_.abandon();
        return "Could not create \"" + path + "\"; nothing was recorded.";
    }
    return {};
}

void CMainDialog::recordFrame() {
    recorder_.addFrame(view_->grabFramebuffer());
}

std::string CMainDialog::finishRecording() {
    if (recorder_.finish() != FileWriteStatus::ok) {
        return "Could not write \"" + recordingPath_ + "\"; the recording was not saved.";
    }
    return {};
}

void CMainDialog::reject() {
    commands_.OnCancelClicked();
}

void CMainDialog::showAbout() {
    CAboutDialog about(this);
    about.exec();
}

} // namespace quorvel
