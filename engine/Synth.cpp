#include "Synth.h"

#include <algorithm>
#include <cmath>

namespace brevian {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The release runs until the envelope is 80 dB below where it started.
constexpr float kSilence = 1.0e-4f;

// Band-limited step correction for a saw (polyBLEP): removes most of the aliasing of a naive saw.
inline double polyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

inline double saw(double phase, double dt) {
    return 2.0 * phase - 1.0 - polyBlep(phase, dt);
}

inline double wrap(double phase) {
    return phase >= 1.0 ? phase - std::floor(phase) : phase;
}

// Coefficient of a one-pole approach that covers `ratio` of the distance in `seconds`.
inline float coefFor(double seconds, double rate, double ratio) {
    const double samples = std::max(1.0, seconds * rate);
    return static_cast<float>(std::exp(std::log(ratio) / samples));
}

} // namespace

Synth::Synth() {
    reset();
}

void Synth::setSampleRate(double rate) {
    if (std::isfinite(rate) && rate >= 8000.0 && rate <= 384000.0) sampleRate_ = rate;
}

void Synth::reset() {
    for (Voice& v : voices_)
        v = Voice{};
    for (Channel& c : channels_)
        c = Channel{};
    nextAge_ = 0;
}

int Synth::activeVoices() const {
    int n = 0;
    for (const Voice& v : voices_)
        if (v.stage != Stage::Idle) ++n;
    return n;
}

int Synth::pickVoice(uint8_t channel, uint8_t note) {
    // The same key struck again reuses its voice, so repeated notes do not pile up.
    for (int i = 0; i < kVoiceCount; ++i)
        if (voices_[i].stage != Stage::Idle && voices_[i].channel == channel && voices_[i].note == note)
            return i;
    for (int i = 0; i < kVoiceCount; ++i)
        if (voices_[i].stage == Stage::Idle) return i;
    // Full: steal the quietest releasing voice, else the oldest one.
    int best = -1;
    for (int i = 0; i < kVoiceCount; ++i)
        if (voices_[i].stage == Stage::Release && (best < 0 || voices_[i].env < voices_[best].env)) best = i;
    if (best >= 0) return best;
    best = 0;
    for (int i = 1; i < kVoiceCount; ++i)
        if (voices_[i].age < voices_[best].age) best = i;
    return best;
}

void Synth::noteOn(uint8_t channel, uint8_t note, uint8_t velocity, const Patch&) {
    Voice& v = voices_[pickVoice(channel, note)];
    const bool retrigger = v.stage != Stage::Idle && v.channel == channel && v.note == note;
    if (!retrigger) {
        v = Voice{};
        // Fixed starting phases: deterministic, the two saws out of step, and a non-zero first
        // sample, so the note is there from the very frame it was placed at.
        v.phase1 = 0.1;
        v.phase2 = 0.6;
        v.phaseSub = 0.0;
    }
    v.channel = channel;
    v.note = note;
    v.velocity = static_cast<float>(velocity) / 127.f;
    v.held = true;
    v.sustained = false;
    v.stage = Stage::Attack;
    v.age = nextAge_++;
}

void Synth::releaseVoice(Voice& v, const Patch& patch) {
    v.held = false;
    v.sustained = false;
    v.stage = Stage::Release;
    v.releaseCoef = coefFor(patch.release, sampleRate_, kSilence);
}

void Synth::noteOff(uint8_t channel, uint8_t note, const Patch& patch) {
    for (Voice& v : voices_) {
        if (v.stage == Stage::Idle || v.stage == Stage::Release || !v.held || v.channel != channel ||
            v.note != note)
            continue;
        if (channels_[channel].pedal) {
            v.held = false;
            v.sustained = true;
        } else {
            releaseVoice(v, patch);
        }
    }
}

void Synth::handleEvent(uint8_t status, uint8_t data1, uint8_t data2, const Patch& patch) {
    const uint8_t channel = status & 0x0F;
    data1 &= 0x7F;
    data2 &= 0x7F;
    switch (status & 0xF0) {
    case 0x90:
        if (data2 == 0)
            noteOff(channel, data1, patch);
        else
            noteOn(channel, data1, data2, patch);
        break;
    case 0x80:
        noteOff(channel, data1, patch);
        break;
    case 0xB0:
        if (data1 == 64) {
            const bool down = data2 >= 64;
            channels_[channel].pedal = down;
            if (!down)
                for (Voice& v : voices_)
                    if (v.stage != Stage::Idle && v.channel == channel && v.sustained) releaseVoice(v, patch);
        } else if (data1 == 7) {
            channels_[channel].volume = static_cast<float>(data2) / 127.f;
        } else if (data1 == 120) { // all sound off: silence at once
            for (Voice& v : voices_)
                if (v.channel == channel) v = Voice{};
        } else if (data1 == 121) { // reset controllers
            channels_[channel] = Channel{};
            for (Voice& v : voices_)
                if (v.stage != Stage::Idle && v.channel == channel && v.sustained) releaseVoice(v, patch);
        } else if (data1 == 123) { // all notes off: every note of the channel releases, pedal or not
            for (Voice& v : voices_)
                if (v.stage != Stage::Idle && v.stage != Stage::Release && v.channel == channel)
                    releaseVoice(v, patch);
        }
        break;
    case 0xE0: {
        const int value = (static_cast<int>(data2) << 7 | data1) - 8192;
        channels_[channel].bend = 2.f * static_cast<float>(value) / 8192.f;
        break;
    }
    default:
        break; // program change, aftertouch, system messages: not used by this instrument
    }
}

void Synth::renderSpan(float* left, float* right, int from, int to, const Patch& patch) {
    if (from >= to) return;
    const double rate = sampleRate_;
    const float attackStep = static_cast<float>(1.0 / std::max(1.0, patch.attack * rate));
    const float decayCoef = coefFor(patch.decay, rate, kSilence);
    const double detuneRatio = std::pow(2.0, patch.detune / 2400.0); // half the spread each way
    const double maxCutoff = 0.45 * rate;
    const float k = 2.f - 2.f * std::min(patch.resonance, 0.97f); // damping of the filter
    const float gain = patch.volume * 0.25f;

    for (Voice& v : voices_) {
        if (v.stage == Stage::Idle) continue;
        const Channel& ch = channels_[v.channel];
        const double freq = 440.0 * std::pow(2.0, (v.note - 69 + ch.bend) / 12.0);
        const double dt1 = std::min(0.45, freq * detuneRatio / rate);
        const double dt2 = std::min(0.45, freq / detuneRatio / rate);
        const double dtSub = std::min(0.45, 0.5 * freq / rate);
        // Velocity shapes both loudness (a gentle curve) and brightness.
        const float amp = gain * ch.volume * (0.15f + 0.85f * v.velocity * v.velocity);
        const double baseCutoff = patch.cutoff * std::pow(2.0, 0.5 * v.velocity);
        const float subLevel = patch.subLevel;

        for (int i = from; i < to; ++i) {
            switch (v.stage) {
            case Stage::Attack:
                v.env += attackStep;
                if (v.env >= 1.f) {
                    v.env = 1.f;
                    v.stage = Stage::Decay;
                }
                break;
            case Stage::Decay:
                v.env = patch.sustain + (v.env - patch.sustain) * decayCoef;
                if (v.env - patch.sustain < kSilence) {
                    v.env = patch.sustain;
                    v.stage = Stage::Sustain;
                }
                break;
            case Stage::Sustain:
                v.env = patch.sustain;
                break;
            case Stage::Release:
                v.env *= v.releaseCoef;
                break;
            case Stage::Idle:
                break;
            }
            if (v.stage == Stage::Release && v.env < kSilence) {
                v = Voice{};
                break;
            }
            if (v.stage == Stage::Sustain && v.env <= 0.f) { // zero sustain: the note has ended
                v = Voice{};
                break;
            }

            const double osc =
                saw(v.phase1, dt1) + saw(v.phase2, dt2) + subLevel * 2.0 * std::sin(2.0 * kPi * v.phaseSub);
            v.phase1 = wrap(v.phase1 + dt1);
            v.phase2 = wrap(v.phase2 + dt2);
            v.phaseSub = wrap(v.phaseSub + dtSub);

            // Trapezoidal state-variable low-pass; the envelope opens it.
            const double cutoff =
                std::min(maxCutoff, baseCutoff * std::exp2(patch.envAmount * v.velocity * v.env));
            const float g = static_cast<float>(std::tan(kPi * cutoff / rate));
            const float a1 = 1.f / (1.f + g * (g + k));
            const float a2 = g * a1;
            const float a3 = g * a2;
            const float v0 = static_cast<float>(osc) * 0.5f;
            const float v3 = v0 - v.ic2;
            const float v1 = a1 * v.ic1 + a2 * v3;
            const float v2 = v.ic2 + a2 * v.ic1 + a3 * v3;
            v.ic1 = 2.f * v1 - v.ic1;
            v.ic2 = 2.f * v2 - v.ic2;

            const float out = v2 * v.env * amp;
            left[i] += out;
            right[i] += out;
        }
    }
}

void Synth::render(const SynthEvent* events, int eventCount, float* left, float* right, int frames,
                   const Patch& patch) {
    if (frames <= 0) return;
    int position = 0;
    for (int e = 0; e < eventCount; ++e) {
        const int at = std::clamp(events[e].frameOffset, 0, frames - 1);
        if (at > position) {
            renderSpan(left, right, position, at, patch);
            position = at;
        }
        handleEvent(events[e].status, events[e].data1, events[e].data2, patch);
    }
    renderSpan(left, right, position, frames, patch);
}

} // namespace brevian
