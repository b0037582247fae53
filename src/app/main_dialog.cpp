#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/curve_chart.h"
#include "app/dialog_units.h"
#include "app/training_window.h"
#include "display/gl_view.h"
#include "training/training.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStringList>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvel {

namespace {

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
    QPushButton* ok = addButton("OK", du.rect(7, 513, 50, 16), &PanelCommands::OnOkClicked);
    ok->setDefault(true);
    addButton("Cancel", du.rect(553, 513, 50, 16), &PanelCommands::OnCancelClicked);

    view_ = new CGLView(world_, this);
    view_->setGeometry(du.rect(7, 7, 596, 292));
    connect(view_, &CGLView::clicked, this, [this] { commands_.OnViewClicked(); });

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(0, 100);
    slider_->setValue(0);
    slider_->setTickPosition(QSlider::NoTicks);
    slider_->setGeometry(du.rect(131, 319, 317, 15));

    addButton("forwards", du.rect(224, 301, 136, 14), &PanelCommands::OnForwards);
    addButton("reverse", du.rect(223, 345, 136, 14), &PanelCommands::OnReverse);

    auto label = [&](const QString& text, QRect geometry) {
        auto* l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
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
    addEdit(Field::obstacles, du.rect(225, 383, 40, 14));
    addEdit(Field::sides, du.rect(225, 406, 40, 14));
    label("Num Obstacles", du.rect(154, 383, 72, 13));
    label("Sides per Obstacle", du.rect(153, 406, 72, 13));
    addButton("Generate", du.rect(274, 383, 50, 31), &PanelCommands::OnGenerate);
    addEdit(Field::radius, du.rect(225, 427, 40, 14));
    label("Average Obstacle Radius", du.rect(152, 422, 72, 20));

    group("Learning Controls", du.rect(379, 346, 165, 183));
    addButton("Playback Learned Behavior", du.rect(389, 360, 145, 14), &PanelCommands::OnPlayback);
    addButton("Stop Playback", du.rect(389, 378, 145, 14), &PanelCommands::OnStopPlayback);
    label("Num Training runs", du.rect(389, 400, 69, 8));
    addEdit(Field::runs, du.rect(464, 396, 70, 12));
    addButton("Train", du.rect(389, 507, 145, 14), &PanelCommands::OnTrain);
    label("Evaluation Freq", du.rect(389, 421, 70, 8));
    addEdit(Field::evaluationFrequency, du.rect(464, 415, 70, 14));
    addButton("Save Neural Net Weights", du.rect(15, 400, 114, 25), &PanelCommands::OnSaveWeights);
    addButton("Load Neural Net Weights", du.rect(15, 369, 114, 25), &PanelCommands::OnLoadWeights);
    addButton("Place Robot and Goal", du.rect(274, 417, 50, 24),
              &PanelCommands::OnPlaceRobotAndGoal);
    addEdit(Field::learningRate, du.rect(494, 442, 40, 14));
    label("Learning Rate", du.rect(445, 442, 48, 14));
    qLearn_ = new QCheckBox("Q-learn", this);
    qLearn_->setGeometry(du.rect(389, 442, 40, 14));
    addEdit(Field::discount, du.rect(464, 468, 70, 15));
    label("Discount Factor", du.rect(389, 468, 65, 15));
    addEdit(Field::annealing, du.rect(494, 489, 40, 14));
    label("Magic Number for Annealing", du.rect(389, 492, 90, 8));
    trails_ = new QCheckBox("Robot leaves \"trails\"", this);
    trails_->setGeometry(du.rect(17, 351, 86, 10));

    auto* about = new QAction("&About Quorvel...", this);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, &CMainDialog::showAbout);
    addAction(about);
    auto* plot = new QAction("Plot Evaluation Log...", this);
    connect(plot, &QAction::triggered, this, [this] { commands_.OnPlotEvaluationLog(); });
    addAction(plot);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    setFixedSize(du.x(610), du.y(529));
    ok->setFocus();
}

CMainDialog::~CMainDialog() = default;

QPushButton* CMainDialog::addButton(const QString& caption, QRect geometry,
                                    void (PanelCommands::*command)()) {
    auto* button = new QPushButton(this);
    button->setGeometry(geometry);
    const QFontMetrics metrics(button->font());
    const bool fits = metrics.horizontalAdvance(caption) + 8 <= geometry.width();
    button->setText(fits ? caption : wrapCaption(caption, metrics, geometry.width() - 8));
    button->setAccessibleName(caption);
    connect(button, &QPushButton::clicked, this, [this, command] { (commands_.*command)(); });
    return button;
}

QLineEdit* CMainDialog::addEdit(Field field, QRect geometry) {
    auto* edit = new QLineEdit(this);
    edit->setGeometry(geometry);
    edit->setAccessibleName(QString::number(static_cast<int>(field)));
    edits_[fieldIndex(field)] = edit;
    return edit;
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

void CMainDialog::showMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, "Quorvel", QString::fromStdString(text), QMessageBox::Ok,
                    this);
    box.exec();
}

bool CMainDialog::ask(const std::string& text, const std::string& yes, const std::string& no) {
    QMessageBox box(QMessageBox::Warning, "Quorvel", QString::fromStdString(text),
                    QMessageBox::NoButton, this);
    QPushButton* first = box.addButton(QString::fromStdString(yes), QMessageBox::AcceptRole);
    box.addButton(QString::fromStdString(no), QMessageBox::RejectRole);
    box.setDefaultButton(first);
    box.exec();
    return box.clickedButton() == first;
}

std::string CMainDialog::askOpenPath(const char* filter) {
    return QFileDialog::getOpenFileName(this, QString(), QString(), qtFileFilter(filter))
        .toStdString();
}

std::string CMainDialog::askSavePath(const char* filter) {
    return QFileDialog::getSaveFileName(this, QString(), QString(), qtFileFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite)
        .toStdString();
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
    view_->Redraw();
}

bool CMainDialog::runTraining(TrainingSession& session) {
    TrainingWindow window(session, this);
    window.exec();
    return window.cancelled();
}

void CMainDialog::showEvaluationCurve(const std::string& title,
                                      const std::vector<CurvePoint>& points, int window) {
    QDialog plot(this);
    plot.setWindowTitle(QString::fromStdString(title));
    auto* chart = new CurveChart("evaluation", window, &plot);
    chart->setPoints(points);
    auto* layout = new QVBoxLayout(&plot);
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

void CMainDialog::reject() {
    commands_.OnCancelClicked();
}

void CMainDialog::showAbout() {
    CAboutDialog about(this);
    about.exec();
}

} // namespace quorvel
