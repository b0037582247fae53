#include "panel/panel_commands.h"

#include "world/world.h"

#include <algorithm>

// The panel's playback, its pace, and recordings of it.
namespace quorvel {

void PanelCommands::restartTimer() {
    platform_.startTimer(playbackTimerId, driveSpeeds[speed_].periodMs);
}

void PanelCommands::OnPlayback() {
    if (!playing_) {
        playing_ = true;
        paused_ = false;
        playback_.restart();
        restartTimer();
        platform_.showPace(speed_, paused_);
    }
}

void PanelCommands::OnStopPlayback() {
    stopPlayback("playback stopped after " + std::to_string(playback_.steps()) +
                 (playback_.steps() == 1 ? " step" : " steps"));
}

void PanelCommands::stopPlayback(const std::string& caption) {
    if (playing_) {
        playing_ = false;
        paused_ = false;
        platform_.stopTimer(playbackTimerId);
        platform_.showCaption(caption);
        platform_.redraw();
        platform_.showPace(speed_, paused_);
    }
    endRecording();
}

void PanelCommands::OnPause() {
    if (!playing_) {
        return;
    }
    paused_ = !paused_;
    if (paused_) {
        platform_.stopTimer(playbackTimerId);
    } else {
        restartTimer();
    }
    platform_.showPace(speed_, paused_);
}

void PanelCommands::OnStep() {
    if (!playing_) {
        OnPlayback();
        OnPause();
    } else if (!paused_) {
        OnPause();
    }
    playbackStepShown();
}

void PanelCommands::setSpeed(int index) {
    speed_ = std::clamp(index, 0, driveSpeedCount - 1);
    if (playing_ && !paused_) {
        restartTimer();
    }
    platform_.showPace(speed_, paused_);
}

void PanelCommands::OnFaster() {
    setSpeed(speed_ + 1);
}

void PanelCommands::OnSlower() {
    setSpeed(speed_ - 1);
}

void PanelCommands::OnRecordPlayback(int frameLimit) {
    const std::string path = platform_.askSavePath("Record Playback", gifFilter, "playback.gif");
    if (path.empty()) {
        return;
    }
    OnStopPlayback(); // a playback or recording in progress ends first
    if (const std::string problem = platform_.startRecording(path); !problem.empty()) {
        platform_.showMessage(problem);
        return;
    }
    recording_ = true;
    // A picture a tick: the recording ends with the playback, or once it took frameLimit steps.
    playback_.setRules({std::clamp(frameLimit, 1, maxRecordedFrames), false});
    OnPlayback();
}

void PanelCommands::endRecording() {
    playback_.setRules({});
    if (!recording_) {
        return;
    }
    recording_ = false;
    if (const std::string problem = platform_.finishRecording(); !problem.empty()) {
        platform_.showMessage(problem);
    }
}

void PanelCommands::OnTimer(int id) {
    if (!playing_ || paused_ || id != playbackTimerId) {
        return;
    }
    for (int i = 0; i < driveSpeeds[speed_].stepsPerTick && playing_; ++i) {
        playbackStepShown();
    }
}

void PanelCommands::playbackStepShown() {
    if (!playing_) {
        return;
    }
    playback_.step(world_, platform_.isChecked(CheckBox::trails));
    platform_.showActionValues(valuesOfLastStep(world_.learner));
    platform_.showCaption(playback_.ended()
                              ? describeDriveEnd(playback_.end(), playback_.steps())
                              : "playback, step " + std::to_string(playback_.steps()));
    platform_.redraw();
    if (recording_) {
        platform_.recordFrame();
    }
    if (playback_.ended()) {
        playing_ = false;
        paused_ = false;
        platform_.stopTimer(playbackTimerId);
        platform_.showPace(speed_, paused_);
        endRecording();
        if (playback_.end() == DriveEnd::goal) {
            platform_.showMessage("Claims to have hit goal\n");
        }
    }
}

} // namespace quorvel
