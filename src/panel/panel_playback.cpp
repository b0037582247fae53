#include "panel/panel_commands.h"

#include "world/world.h"

#include <algorithm>

// The panel's playback, and recordings of it.
namespace quorvel {

void PanelCommands::OnPlayback() {
    if (!playing_) {
        playing_ = true;
        playback_.restart();
        platform_.startTimer(playbackTimerId, playbackPeriodMs);
    }
}

void PanelCommands::OnStopPlayback() {
    stopPlayback("playback stopped after " + std::to_string(playback_.steps()) +
                 (playback_.steps() == 1 ? " step" : " steps"));
}

void PanelCommands::stopPlayback(const std::string& caption) {
    if (playing_) {
        playing_ = false;
        platform_.stopTimer(playbackTimerId);
        platform_.showCaption(caption);
        platform_.redraw();
    }
    endRecording();
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
    // A picture a step: the recording ends with the playback, or once it holds frameLimit.
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
    if (!playing_ || id != playbackTimerId) {
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
        platform_.stopTimer(playbackTimerId);
        endRecording();
        if (playback_.end() == DriveEnd::goal) {
            platform_.showMessage("Claims to have hit goal\n");
        }
    }
}

} // namespace quorvel
