// First increment: the player's block interface with no file support yet; the reader, the
// model and the timing follow.
#include "midifile/MIDIFilePlayer.h"

#include <atomic>

namespace vantor {

struct MIDIFilePlayer::State {
    std::atomic<bool> playing{false};
    std::atomic<double> position{0.0};
    MidiEventArray events;
};

MIDIFilePlayer::MIDIFilePlayer() : state_(new State) { state_->events.reserve(64); }
MIDIFilePlayer::~MIDIFilePlayer() { delete state_; }

void MIDIFilePlayer::initialize(Instance*, DSPInfo*) {}
bool MIDIFilePlayer::load(const std::string&) {
    state_->playing = false;
    return false;
}
void MIDIFilePlayer::startPlayback() { state_->playing = true; }
void MIDIFilePlayer::stopPlayback() { state_->playing = false; }
void MIDIFilePlayer::seek(float) {}
double MIDIFilePlayer::getPosition() { return 0.0; }
void MIDIFilePlayer::advance() {}
void MIDIFilePlayer::getBlockEvents(MidiEventArray& events) {
    events.insert(events.end(), state_->events.begin(), state_->events.end());
    state_->events.clear();
}

} // namespace vantor
