#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/curve_chart.h"
#include "app/dialog_units.h"
#include "app/training_window.h"
#include "common/random.h"
#include "display/gl_view.h"
#include "training/training.h"
#include "world/world.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QStringList>
#include <QStyle>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace quorvel {

namespace {

// Values to try first, from the study in docs/learning.md: they learn on the default field, and
// on a field of two obstacles a person sees the robot reach the goal after about a minute.
struct TryFirst {
    const char* obstacles = "2";
    const char* sides = "10";
    const char* radius = "15";
    const char* runs = "500000";
    const char* frequency = "100";
    const char* rate = "0.1";
    const char* discount = "0.999";
    const char* annealing = "200";
};
constexpr TryFirst tryFirst;

constexpr Field fieldOrder[] = {
    Field::obstacles,           Field::sides,        Field::radius,   Field::runs,
    Field::evaluationFrequency, Field::learningRate, Field::discount, Field::annealing};

int fieldIndex(Field field) {
    for (int i = 0; i < 8; ++i) {
        if (fieldOrder[i] == field) {
            return i;
        }
    }
    return 0;
}

// Breaks a caption into lines that fit the width, as a multi-line button shows it.
QString wrapCaption(const QString& caption, const QFontMetrics& metrics, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : caption.split(' ')) {
        const QString candidate = line.isEmpty() ? word : line + ' ' + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > width) {
            lines << line;
            line = word;
        } else {
            line = candidate;
        }
    }
    lines << line;
    return lines.join('\n');
}

} // namespace

QString filterSuffix(const QString& qtFilter) {
    const int open = qtFilter.indexOf("(*.");
    if (open < 0) {
        return {};
    }
    const int end = qtFilter.indexOf(QRegularExpression("[ )]"), open + 3);
    return qtFilter.mid(open + 3, end - open - 3);
}

QString qtFileFilter(const char* filter) {
    const QStringList parts = QString::fromUtf8(filter).split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
        QString description = parts[i];
        const int paren = description.lastIndexOf(" (");
        if (paren >= 0) {
            description.truncate(paren);
        }
        QString pattern = parts[i + 1];
        pattern.replace(';', ' ');
        if (pattern == "*.*") {
            pattern = "*";
        }
        entries << description + " (" + pattern + ")";
    }
    return entries.join(";;");
}

CMainDialog::CMainDialog(World& world, QWidget* parent)
    : QDialog(parent), world_(world), commands_(world, *this), icon_(applicationIcon()) {
    setWindowTitle("Quorvel");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(icon_);
    const DialogUnits du(font());

    // Controls in the layout's order, which is also the tab order.
    QPushButton* ok = addButton("OK", du.rect(7, 513, 50, 16), &PanelCommands::OnOkClicked,
                                "Offer to save the network's weights, then close");
    ok->setDefault(true);
    addButton("Cancel", du.rect(553, 513, 50, 16), &PanelCommands::OnCancelClicked,
              "Close; asks first when the network has changed since it was saved");

    view_ = new CGLView(world_, this);
    view_->setGeometry(du.rect(7, 7, 596, 292));
    view_->setToolTip("The arena seen from above; click to draw it again");
    connect(view_, &CGLView::clicked, this, [this] { commands_.OnViewClicked(); });

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(0, 100);
    slider_->setValue(0);
    slider_->setTickPosition(QSlider::NoTicks);
    slider_->setGeometry(du.rect(131, 319, 317, 15));
    slider_->setToolTip("Steering: straight ahead is the middle (Home or 0). It starts at the left "
                        "end, which turns hardest; just left of the middle turns right, further "
                        "left turns left, and the right half mirrors that");

    QPushButton* forwards =
        addButton("forwards", du.rect(224, 301, 136, 14), &PanelCommands::OnForwards,
                  "Drive 2 units forwards, steered by the slider (Up arrow)");
    QPushButton* reverse =
        addButton("reverse", du.rect(223, 345, 136, 14), &PanelCommands::OnReverse,
                  "Drive 2 units in reverse, steered by the slider (Down arrow)");
    for (QPushButton* drive : {forwards, reverse}) {
        drive->setAutoRepeat(true); // held down, the robot keeps driving
    }

    auto label = [&](const QString& text, QRect geometry) {
        auto* l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        // Centred in its box, as the text of the field beside it is.
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // A one-line label whose text is wider than its box in this font grows to fit,
        // beneath the controls it reaches.
        const QFontMetrics metrics(l->font());
        if (geometry.height() < 2 * metrics.height()) {
            geometry.setWidth(std::max(geometry.width(), metrics.horizontalAdvance(text) + 2));
        }
        l->setGeometry(geometry);
        l->lower();
    };
    auto group = [&](const QString& title, QRect geometry) {
        auto* g = new QGroupBox(title, this);
        g->setGeometry(geometry);
    };

    group("Obstacle Controls", du.rect(137, 369, 209, 78));
    addEdit(Field::obstacles, du.rect(225, 383, 40, 14), "0-7", tryFirst.obstacles,
            "Number of obstacles, 0 to 7: fewer are learnt faster (try %1)");
    addEdit(Field::sides, du.rect(225, 406, 40, 14), "3-10", tryFirst.sides,
            "Sides of each obstacle, 3 to 10 (try %1)");
    label("Num Obstacles", du.rect(154, 383, 72, 13));
    label("Sides per Obstacle", du.rect(153, 406, 72, 13));
    addButton("Generate", du.rect(274, 383, 50, 31), &PanelCommands::OnGenerate,
              "Make a new field of random obstacles, clear of the robot and the goal");
    addEdit(Field::radius, du.rect(225, 427, 40, 14), "5-25", tryFirst.radius,
            "Average distance of an obstacle's corners from its centre, 5 to 25 (try %1)");
    label("Average Obstacle Radius", du.rect(152, 422, 72, 20));

    group("Learning Controls", du.rect(379, 346, 165, 183));
    addButton("Playback Learned Behavior", du.rect(389, 360, 145, 14), &PanelCommands::OnPlayback,
              "Let the network drive the robot, one step every tenth of a second");
    addButton("Stop Playback", du.rect(389, 378, 145, 14), &PanelCommands::OnStopPlayback,
              "Stop the network driving");
    label("Num Training runs", du.rect(389, 400, 69, 8));
    addEdit(
        Field::runs, du.rect(464, 396, 70, 12), "1-10000000", tryFirst.runs,
        "Number of training runs, 1 to 10000000: more runs, more learnt (try %1, about a minute)");
    addButton("Train", du.rect(389, 507, 145, 14), &PanelCommands::OnTrain,
              "Ask where to write the evaluation log, then train the network");
    label("Evaluation Freq", du.rect(389, 421, 70, 8));
    addEdit(Field::evaluationFrequency, du.rect(464, 415, 70, 14), "", tryFirst.frequency,
            "Every run whose number is a multiple of this is an evaluation run, logged and "
            "drawn on the curve; it learns nothing (try %1)");
    addButton("Save Neural Net Weights", du.rect(15, 400, 114, 25), &PanelCommands::OnSaveWeights,
              "Save the network's weights to a file");
    addButton("Load Neural Net Weights", du.rect(15, 369, 114, 25), &PanelCommands::OnLoadWeights,
              "Load the network's weights from a file");
    addButton("Place Robot and Goal", du.rect(274, 417, 50, 24),
              &PanelCommands::OnPlaceRobotAndGoal, "Put the robot and the goal somewhere new");
    addEdit(Field::learningRate, du.rect(494, 442, 40, 14), "0.001-0.9", tryFirst.rate,
            "Learning rate, 0.001 to 0.9: how far each lesson moves the network; too high and "
            "it forgets, too low and it learns slowly (try %1)");
    label("Learning Rate", du.rect(445, 442, 48, 14));
    qLearn_ = new QCheckBox("Q-learn", this);
    qLearn_->setGeometry(du.rect(389, 442, 40, 14));
    qLearn_->setToolTip("Q-learn: episodes of random length, each step learning from the value "
                        "of the next; here it learns several times faster (try it on)");
    addEdit(Field::discount, du.rect(464, 468, 70, 15), "0.001-0.999", tryFirst.discount,
            "Reward discount factor, 0.001 to 0.999: how far back from the goal a step still "
            "learns of it; near 1 the robot learns long drives (try %1)");
    label("Discount Factor", du.rect(389, 468, 65, 15));
    addEdit(Field::annealing, du.rect(494, 489, 40, 14), "200", tryFirst.annealing,
            "Runs until exploring gives way halfway to using what was learnt; empty: 200 (try %1)");
    label("Magic Number for Annealing", du.rect(389, 492, 90, 8));
    trails_ = new QCheckBox("Robot leaves \"trails\"", this);
    trails_->setGeometry(du.rect(17, 351, 86, 10));
    trails_->setToolTip("During playback, keep the past poses, coloured by the network's value");

    QAction* about = addMenuAction("&About Quorvel...", [this] { showAbout(); });
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    addMenuAction("Plot Evaluation Log...", [this] { commands_.OnPlotEvaluationLog(); });
    addMenuAction("Show Last Learning Curve", [this] { commands_.OnShowLastLearningCurve(); });
    addMenuAction("Record Playback...", [this] { commands_.OnRecordPlayback(); });
    valueMapAction_ = addMenuAction("Show Value Map", [this] { updateViewDisplays(); });
    valueMapAction_->setCheckable(true);
    valueMapAction_->setToolTip("Colour each floor square by the best value the network expects "
                                "there, with the robot's heading (V)");
    actionValuesAction_ = addMenuAction("Show Action Values", [this] { updateViewDisplays(); });
    actionValuesAction_->setCheckable(true);
    actionValuesAction_->setToolTip("Show the value of each of the six actions behind the "
                                    "robot's last step (A)");
    setContextMenuPolicy(Qt::ActionsContextMenu);

    // Driving with the keys.
    addKey(Qt::Key_Up, [this] { commands_.OnForwards(); });
    addKey(Qt::Key_Down, [this] { commands_.OnReverse(); });
    addKey(Qt::Key_Left, [this] { commands_.OnSteerBy(-1); });
    addKey(Qt::Key_Right, [this] { commands_.OnSteerBy(1); });
    addKey(QKeySequence(Qt::SHIFT | Qt::Key_Left), [this] { commands_.OnSteerBy(-10); });
    addKey(QKeySequence(Qt::SHIFT | Qt::Key_Right), [this] { commands_.OnSteerBy(10); });
    addKey(Qt::Key_Home, [this] { commands_.OnSteerStraight(); });
    addKey(Qt::Key_0, [this] { commands_.OnSteerStraight(); });
    addKey(Qt::Key_V, [this] { valueMapAction_->trigger(); });
    addKey(Qt::Key_A, [this] { actionValuesAction_->trigger(); });

    // The view gives up height on a small screen, and takes what a larger window offers; the
    // controls keep their places below it.
    nominalSize_ = QSize(du.x(610), du.y(529));
    viewGeometry_ = view_->geometry();
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != view_ && !w->isWindow()) {
            controls_.push_back({w, w->geometry()});
        }
    }
    setMinimumSize(nominalSize_.width(),
                   nominalSize_.height() - viewGeometry_.height() + minimumViewHeight);
    resize(fittingSize());
    for (QLineEdit* edit : edits_) {
        edit->installEventFilter(this);
    }
    ok->setFocus();
}

CMainDialog::~CMainDialog() = default;

QSize CMainDialog::fittingSize() const {
    const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (shown == nullptr) {
        return nominalSize_;
    }
    // Room for a window manager's title bar and frame.
    const int frame = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 16;
    const QRect available = shown->availableGeometry();
    return {nominalSize_.width(),
            std::clamp(available.height() - frame, minimumHeight(), nominalSize_.height())};
}

void CMainDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int dx = width() - nominalSize_.width();
    const int dy = height() - nominalSize_.height();
    view_->setGeometry(viewGeometry_.adjusted(0, 0, dx, dy));
    for (const auto& [control, geometry] : controls_) {
        control->setGeometry(geometry.translated(dx / 2, dy));
    }
}

bool CMainDialog::eventFilter(QObject* watched, QEvent* event) {
    // Enter in a field ends its edit and moves to the next field; it does not press OK.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const auto field = std::find(std::begin(edits_), std::end(edits_), watched);
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && field != std::end(edits_)) {
            const auto next = field + 1 == std::end(edits_) ? std::begin(edits_) : field + 1;
            (*next)->setFocus(Qt::TabFocusReason);
            (*next)->selectAll();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QPushButton* CMainDialog::addButton(const QString& caption, QRect geometry,
                                    void (PanelCommands::*command)(), const QString& tip) {
    auto* button = new QPushButton(this);
    button->setToolTip(tip);
    button->setGeometry(geometry);
    const QFontMetrics metrics(button->font());
    const bool fits = metrics.horizontalAdvance(caption) + 8 <= geometry.width();
    button->setText(fits ? caption : wrapCaption(caption, metrics, geometry.width() - 8));
    button->setAccessibleName(caption);
    connect(button, &QPushButton::clicked, this, [this, command] { (commands_.*command)(); });
    return button;
}

QLineEdit* CMainDialog::addEdit(Field field, QRect geometry, const QString& range,
                                const QString& tryValue, const QString& tip) {
    auto* edit = new QLineEdit(this);
    edit->setGeometry(geometry);
    // Shown while empty, not the field's text: the range and a value to try, or as much of
    // that as the field's width shows whole (the tooltip holds all of it).
    const QString both = range.isEmpty() ? "try " + tryValue : range + ", try " + tryValue;
    const int room = geometry.width() - 8; // the frame and the text margins
    edit->setPlaceholderText(
        edit->fontMetrics().horizontalAdvance(both) <= room ? both : "try " + tryValue);
    edit->setToolTip(QString(tip).arg(tryValue));
    edit->setAccessibleName(QString::number(static_cast<int>(field)));
    edits_[fieldIndex(field)] = edit;
    return edit;
}

void CMainDialog::addKey(QKeySequence key, std::function<void()> command) {
    auto* shortcut = new QShortcut(key, this);
    shortcut->setContext(Qt::WindowShortcut);
    shortcut->setAutoRepeat(true);
    connect(shortcut, &QShortcut::activated, this, [this, command] {
        if (qobject_cast<QLineEdit*>(focusWidget()) == nullptr) {
            command();
        }
    });
}

QAction* CMainDialog::addMenuAction(const QString& text, std::function<void()> command) {
    auto* action = new QAction(text, this);
    connect(action, &QAction::triggered, this, command);
    addAction(action);
    return action;
}

std::string CMainDialog::fieldText(Field field) {
    return edits_[fieldIndex(field)]->text().toStdString();
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
    return QFileDialog::getOpenFileName(this, QString::fromStdString(title), QString(),
                                        qtFileFilter(filter))
        .toStdString();
}

std::string CMainDialog::askSavePath(const std::string& title, const char* filter,
                                     const std::string& proposedName) {
    QFileDialog dialog(this, QString::fromStdString(title), QString(), qtFileFilter(filter));
    dialog.setObjectName("saveDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(QString::fromStdString(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    // A new file's name typed without an extension takes the chosen filter's.
    QString path = dialog.selectedFiles().front();
    const QString suffix = filterSuffix(dialog.selectedNameFilter());
    if (!suffix.isEmpty() && QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path)) {
        path += "." + suffix;
    }
    return path.toStdString();
}

std::vector<std::string> CMainDialog::askOpenPaths(const std::string& title, const char* filter) {
    std::vector<std::string> paths;
    for (const QString& path : QFileDialog::getOpenFileNames(this, QString::fromStdString(title),
                                                             QString(), qtFileFilter(filter))) {
        paths.push_back(path.toStdString());
    }
    return paths;
}

void CMainDialog::startTimer(int id, int milliseconds) {
    if (id != playbackTimerId) {
        return;
    }
    stopTimer(id); // setting a running timer again replaces it
    playbackTimer_ = QObject::startTimer(milliseconds);
}

void CMainDialog::stopTimer(int id) {
    if (id == playbackTimerId && playbackTimer_ != 0) {
        killTimer(playbackTimer_);
        playbackTimer_ = 0;
    }
}

void CMainDialog::timerEvent(QTimerEvent* event) {
    if (playbackTimer_ != 0 && event->timerId() == playbackTimer_) {
        commands_.OnTimer(playbackTimerId);
        return;
    }
    QDialog::timerEvent(event);
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

void CMainDialog::updateViewDisplays() {
    SceneExtras extras;
    // While a training runs, the view keeps the still copy it was given, map included.
    if (valueMapShown() && !training_) {
        probe_.map(world_, valueMap_);
    }
    if (valueMapShown()) {
        extras.valueMap = &valueMap_;
    }
    view_->setExtras(extras);
    ViewOverlays overlays;
    overlays.legend = valueMapShown();
    if (actionValuesShown() && haveActionValues_) {
        overlays.actionValues = actionValues_;
    }
    overlays.caption = caption_;
    view_->setOverlays(overlays);
    view_->Redraw();
}

void CMainDialog::runTraining(TrainingSession& session, const TrainingWatch& watch) {
    // The runs change the World on a thread of their own: meanwhile the view shows it as it
    // was, and the trials start from there.
    const auto still = std::make_unique<World>(world_);
    view_->setWorld(*still);
    training_ = true;
    TrialSettings trials;
    trials.start = still.get();
    trials.randomState = random::state();
    trials.valueMap = valueMapShown();
    trials.actionValues = actionValuesShown();
    {
        TrainingWindow window(session, watch, trials, this);
        window.exec();
    }
    training_ = false;
    view_->setWorld(world_);
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
