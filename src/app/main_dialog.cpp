#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/curve_chart.h"
#include "app/dialog_units.h"
#include "app/file_dialogs.h"
#include "app/panel_layout.h"
#include "app/training_window.h"
#include "display/gl_view.h"
#include "rules/recommended.h"
#include "world/floor.h"
#include "world/world.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
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

CMainDialog::CMainDialog(World& world, QWidget* parent)
    : QDialog(parent), world_(world), commands_(world, *this), icon_(applicationIcon()) {
    setWindowTitle("Quorvel");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(icon_);
    const DialogUnits du(font());
    QPushButton* ok = nullptr;
    for (const PanelControl& c : panelControls()) {
        addControl(c, du.rect(c.x, c.y, c.width, c.height));
        if (c.command == &PanelCommands::OnOkClicked) {
            ok = qobject_cast<QPushButton*>(controls_.back().first);
        }
    }
    ok->setDefault(true);

    QAction* about = addMenuAction("&About Quorvel...", [this] { showAbout(); });
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    addMenuAction("Plot Evaluation Log...", [this] { commands_.OnPlotEvaluationLog(); });
    addMenuAction("Show Last Learning Curve", [this] { commands_.OnShowLastLearningCurve(); });
    addMenuAction("Record Playback...", [this] { commands_.OnRecordPlayback(); });
    addMenuAction("Save Field...", [this] { commands_.OnSaveField(); });
    addMenuAction("Load Field...", [this] { commands_.OnLoadField(); });
    addMenuAction("Evaluate Network...", [this] { commands_.OnEvaluateNetwork(); });
    valueMapAction_ = addMenuAction("Show Value Map", [this] { updateViewDisplays(); });
    valueMapAction_->setCheckable(true);
    valueMapAction_->setToolTip("Colour each floor square by the best value the network expects "
                                "there, with the robot's heading (V)");
    actionValuesAction_ = addMenuAction("Show Action Values", [this] { updateViewDisplays(); });
    actionValuesAction_->setCheckable(true);
    actionValuesAction_->setToolTip("Show the value of each of the six actions behind the "
                                    "robot's last step (A)");
    stretchAction_ = addMenuAction("Stretch Value Map Colours", [this] { updateViewDisplays(); });
    stretchAction_->setCheckable(true);
    stretchAction_->setToolTip("Spread the value map's colours from its own lowest to its own "
                               "highest value, so that small differences show (S)");
    addKey(Qt::Key_S, [this] { stretchAction_->trigger(); });
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
    addKey(Qt::Key_Space, [this] { commands_.OnPause(); });
    addKey(Qt::Key_Period, [this] { commands_.OnStep(); });
    addKey(Qt::Key_Plus, [this] { commands_.OnFaster(); });
    addKey(Qt::Key_Equal, [this] { commands_.OnFaster(); });
    addKey(Qt::Key_Minus, [this] { commands_.OnSlower(); });

    // The view gives up height on a small screen, and takes what a larger window offers; the
    // controls keep their places below it.
    nominalSize_ = QSize(du.x(panelWidthUnits), du.y(panelHeightUnits));
    viewGeometry_ = view_->geometry();
    setMinimumSize(nominalSize_.width(),
                   nominalSize_.height() - viewGeometry_.height() + minimumViewHeight);
    resize(fittingSize());
    for (QLineEdit* edit : edits_) {
        edit->installEventFilter(this);
    }
    ok->setFocus();
}

void CMainDialog::addControl(const PanelControl& c, QRect geometry) {
    using Kind = PanelControl::Kind;
    QWidget* widget = nullptr;
    switch (c.kind) {
    case Kind::view:
        view_ = new CGLView(world_, this);
        view_->setGeometry(geometry);
        playbackTicks_ = new FrameTicks(
            view_, [this] { commands_.OnTimer(playbackTimerId); }, this);
        view_->setToolTip(c.tip);
        connect(view_, &CGLView::pressedAndReleased, this,
                [this](Vec2 pressed, Vec2 released, bool shift) {
                    placeWithTheMouse(pressed, released, shift);
                });
        return; // the view is not moved with the controls
    case Kind::button:
    case Kind::repeatingButton: {
        auto* button = new QPushButton(this);
        button->setGeometry(geometry);
        const QFontMetrics metrics(button->font());
        const QString caption = c.caption;
        const bool fits = metrics.horizontalAdvance(caption) + 8 <= geometry.width();
        button->setText(fits ? caption : wrapCaption(caption, metrics, geometry.width() - 8));
        button->setAccessibleName(caption);
        button->setAutoRepeat(c.kind == Kind::repeatingButton); // held down, it goes on
        const auto command = c.command;
        connect(button, &QPushButton::clicked, this, [this, command] { (commands_.*command)(); });
        widget = button;
        break;
    }
    case Kind::edit: {
        auto* edit = new QLineEdit(this);
        edit->setGeometry(geometry);
        // Shown while empty, not the field's text: the range and a value to try, or as much
        // of that as the field's width shows whole (the tooltip holds all of it).
        const QString tryText = tryValue(c.field);
        const QString range = c.range;
        const QString both = range.isEmpty() ? "try " + tryText : range + ", try " + tryText;
        const int room = geometry.width() - 8; // the frame and the text margins
        edit->setPlaceholderText(
            edit->fontMetrics().horizontalAdvance(both) <= room ? both : "try " + tryText);
        edit->setToolTip(QString(c.tip).arg(tryText));
        edit->setAccessibleName(QString::number(static_cast<int>(c.field)));
        edits_[editIndex(c.field)] = edit;
        widget = edit;
        break;
    }
    case Kind::label: {
        auto* l = new QLabel(c.caption, this);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        // Centred in its box, as the text of the field beside it is.
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // A one-line label whose text is wider than its box in this font grows to fit,
        // beneath the controls it reaches.
        const QFontMetrics metrics(l->font());
        if (geometry.height() < 2 * metrics.height()) {
            geometry.setWidth(std::max(geometry.width(), metrics.horizontalAdvance(c.caption) + 2));
        }
        l->setGeometry(geometry);
        l->lower();
        widget = l;
        break;
    }
    case Kind::group:
        widget = new QGroupBox(c.caption, this);
        widget->setGeometry(geometry);
        break;
    case Kind::checkBox: {
        auto* box = new QCheckBox(c.caption, this);
        box->setGeometry(geometry);
        box->setToolTip(c.tip);
        (c.box == CheckBox::qLearn ? qLearn_ : trails_) = box;
        widget = box;
        break;
    }
    case Kind::speed:
        speed_ = new QComboBox(this);
        for (const DriveSpeed& speed : driveSpeeds) {
            speed_->addItem(speed.name);
        }
        speed_->setGeometry(geometry);
        speed_->setToolTip(c.tip);
        speed_->setAccessibleName("Speed");
        connect(speed_, &QComboBox::activated, this,
                [this](int index) { commands_.setSpeed(index); });
        widget = speed_;
        break;
    case Kind::learner: {
        learner_ = new QComboBox(this);
        // In LearnerKind's order; the on-line learner first, the panel's default.
        learner_->addItem("on-line");
        learner_->addItem("hindsight");
        learner_->setGeometry(geometry);
        const TrainRequest hindsight = recommendedTraining(LearnerKind::hindsight).request;
        learner_->setToolTip(
            QString(c.tip)
                .arg(QString::fromStdString(quorvel::fieldText(hindsight.learningRate)))
                .arg(QString::fromStdString(quorvel::fieldText(hindsight.discount))));
        learner_->setAccessibleName("Learner");
        widget = learner_;
        break;
    }
    case Kind::slider:
        slider_ = new QSlider(Qt::Horizontal, this);
        slider_->setRange(0, 100);
        slider_->setValue(0);
        slider_->setTickPosition(QSlider::NoTicks);
        slider_->setGeometry(geometry);
        slider_->setToolTip(c.tip);
        widget = slider_;
        break;
    }
    if (c.kind == Kind::button || c.kind == Kind::repeatingButton) {
        widget->setToolTip(c.tip);
        if (c.command == &PanelCommands::OnPause) {
            pause_ = qobject_cast<QPushButton*>(widget);
        }
    }
    controls_.push_back({widget, widget->geometry()});
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

void CMainDialog::placeWithTheMouse(Vec2 pressed, Vec2 released, bool shift) {
    // A drag of at least a unit turns the robot to face where it went.
    constexpr double dragged = 1;
    if (shift) {
        commands_.OnPlaceGoalAt(released);
    } else if (pressed.x >= Floor::low && pressed.x <= Floor::high && pressed.y >= Floor::low &&
               pressed.y <= Floor::high) {
        commands_.OnPlaceRobotAt(pressed, length(released - pressed) >= dragged
                                              ? std::optional<Vec2>(released)
                                              : std::nullopt);
    } else {
        commands_.OnViewClicked();
    }
}

} // namespace quorvel
