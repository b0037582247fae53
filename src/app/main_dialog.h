#pragma once

#include "app/file_dialogs.h"
#include "display/frame_ticks.h"
#include "display/gif_writer.h"
#include "panel/panel_commands.h"
#include "panel/panel_platform.h"

#include <QDialog>
#include <QIcon>
#include <QKeySequence>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QProgressDialog;
class QLineEdit;
class QPushButton;
class QSlider;

namespace quorvel {

class CGLView;
class CurveChart;
class World;
struct PanelControl;

// The control panel: the view of the world across the top, the fields and buttons below.
class CMainDialog : public QDialog, public PanelPlatform {
    Q_OBJECT
  public:
    explicit CMainDialog(World& world, QWidget* parent = nullptr);
    ~CMainDialog() override;

    CGLView* view() const { return view_; }

    // PanelPlatform
    std::string fieldText(Field field) override;
    bool isChecked(CheckBox box) override;
    SliderState slider() override;
    void setSliderPosition(int position) override;
    void showMessage(const std::string& text) override;
    int ask(const std::string& text, const std::vector<std::string>& answers) override;
    std::string askOpenPath(const std::string& title, const char* filter) override;
    std::string askSavePath(const std::string& title, const char* filter,
                            const std::string& proposedName) override;
    std::vector<std::string> askOpenPaths(const std::string& title, const char* filter) override;
    void startTimer(int id, int milliseconds) override;
    void stopTimer(int id) override;
    void redraw() override;
    void showActionValues(const ActionValues& values) override;
    void showCaption(const std::string& text) override;
    TrainingOutcome runTraining(TrainingJob& job, const std::string& notice) override;
    void showEvaluationCurves(const std::string& title, const std::vector<LabelledCurve>& curves,
                              const std::string& xTitle,
                              const std::vector<FigureLine>& figures) override;
    // The chart of the plot window while it is open, for tests.
    CurveChart* openPlot() const { return lastPlot_; }
    void endDialog(bool ok) override;
    std::string startRecording(const std::string& path) override;
    void recordFrame() override;
    std::string finishRecording() override;
    std::optional<int> askNumber(const std::string& title, const std::string& label, int proposed,
                                 int minimum, int maximum) override;
    bool showProgress(const std::string& text, int done, int total) override;
    void showPace(int speed, bool paused) override;
    LearnerKind learner() override;

    void showAbout();

    // The displays of the view, switched from the context menu or by their keys (V, A).
    void showValueMap(bool on);
    void showActionValuesOverlay(bool on);
    bool valueMapShown() const;
    bool actionValuesShown() const;
    bool valueMapStretched() const;
    // The values the view's floor shows while the value map is on.
    const ValueMap& valueMap() const { return valueMap_; }

    // The size the dialog opens at: as laid out, or as tall as the screen leaves room for.
    QSize fittingSize() const;
    // The height below which the view does not shrink, in pixels.
    static constexpr int minimumViewHeight = 120;

  public slots:
    void reject() override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Makes the control of one row of the layout, at its place in pixels.
    void addControl(const PanelControl& control, QRect geometry);
    // A key of the window that runs `command` unless a field is being edited; held down, it
    // repeats.
    void addKey(QKeySequence key, std::function<void()> command);
    QAction* addMenuAction(const QString& text, std::function<void()> command);

    // Gives the view what it shows besides the World, for the World as it is now.
    void updateViewDisplays();
    // A press and release on the view: the robot put where it was pressed (facing where it
    // was released), with Shift the goal where it was released, off the floor a new picture.
    void placeWithTheMouse(Vec2 pressed, Vec2 released, bool shift);

    World& world_;
    PanelCommands commands_;
    QAction* valueMapAction_ = nullptr;
    QAction* actionValuesAction_ = nullptr;
    QAction* stretchAction_ = nullptr;
    QComboBox* speed_ = nullptr;
    QPushButton* pause_ = nullptr;
    std::unique_ptr<QProgressDialog> progress_;
    FileDialogs files_{this};
    ValueProbe probe_;
    ValueMap valueMap_;
    ActionValues actionValues_;
    bool haveActionValues_ = false;
    QString caption_;
    bool training_ = false; // the view shows a still copy while a training changes the World
    QIcon icon_;
    CGLView* view_ = nullptr;
    QSlider* slider_ = nullptr;
    QLineEdit* edits_[8] = {};                         // in the order of the fields' ids
    QSize nominalSize_;                                // the layout's size
    QRect viewGeometry_;                               // the view's place in the layout
    std::vector<std::pair<QWidget*, QRect>> controls_; // every other control and its place
    QCheckBox* qLearn_ = nullptr;
    QComboBox* learner_ = nullptr;
    QCheckBox* trails_ = nullptr;
    CurveChart* lastPlot_ = nullptr;
    FrameTicks* playbackTicks_ = nullptr; // timer 1000 of the commands
    GifWriter recorder_;
    std::string recordingPath_;
};

} // namespace quorvel
