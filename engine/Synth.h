// The Brevian voice engine: a fixed pool of voices (two detuned band-limited saws and a sub sine
// through a resonant low-pass filter, with an ADSR envelope), fed with MIDI events placed at frame
// offsets inside a block. Everything is preallocated: render() never allocates, locks or logs.
// Deterministic: the same events, patch and rate give the same output bytes.
#pragma once

#include "Patch.h"

#include <array>
#include <cstdint>

namespace brevian {

constexpr int kVoiceCount = 32;

struct SynthEvent {
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
    int32_t frameOffset;
};

class Synth {
public:
    Synth();

    void setSampleRate(double rate);
    double sampleRate() const { return sampleRate_; }

    // Renders `frames` frames into left/right (added to what is there). Events are applied at their
    // frame offsets: an offset below the current position (events out of order, or negative) takes
    // effect at once, one at or past the end of the block at its last frame.
    void render(const SynthEvent* events, int eventCount, float* left, float* right, int frames,
                const Patch& patch);

    // Applies one MIDI message now (between frames).
    void handleEvent(uint8_t status, uint8_t data1, uint8_t data2, const Patch& patch);

    // Silences every voice and clears pedals and bends (all sound off on every channel).
    void reset();

    int activeVoices() const;

private:
    enum class Stage : uint8_t { Idle, Attack, Decay, Sustain, Release };

    struct Voice {
        Stage stage = Stage::Idle;
        uint8_t channel = 0;
        uint8_t note = 0;
        bool held = false;      // key down
        bool sustained = false; // key up but held by the pedal
        float velocity = 0.f;
        float env = 0.f;
        float releaseCoef = 0.f;
        uint32_t age = 0; // start order, for stealing the oldest
        double phase1 = 0.0, phase2 = 0.0, phaseSub = 0.0;
        float ic1 = 0.f, ic2 = 0.f; // filter state
    };

    struct Channel {
        bool pedal = false;
        float bend = 0.f;   // semitones
        float volume = 1.f; // CC 7
    };

    void noteOn(uint8_t channel, uint8_t note, uint8_t velocity, const Patch& patch);
    void noteOff(uint8_t channel, uint8_t note, const Patch& patch);
    void releaseVoice(Voice& v, const Patch& patch);
    int pickVoice(uint8_t channel, uint8_t note);
    void renderSpan(float* left, float* right, int from, int to, const Patch& patch);

    std::array<Voice, kVoiceCount> voices_{};
    std::array<Channel, 16> channels_{};
    double sampleRate_ = 44100.0;
    uint32_t nextAge_ = 0;
};

} // namespace brevian
