// The sound settings of the Brevian engine: one patch of an oscillator pair, a filter and an
// envelope. Plain values, copied between the GUI thread and the audio thread through PatchParams.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <string_view>

namespace brevian {

constexpr std::size_t kPatchNameSize = 32; // NUL-terminated, so at most 31 characters

struct Patch {
    std::array<char, kPatchNameSize> name{};
    float attack = 0.005f;   // seconds from 0 to peak
    float decay = 0.30f;     // seconds from peak towards the sustain level
    float sustain = 0.70f;   // 0..1 of the peak
    float release = 0.40f;   // seconds from the level at note-off to silence (-80 dB)
    float cutoff = 2400.0f;  // Hz, before the envelope and velocity add to it
    float resonance = 0.25f; // 0..1
    float envAmount = 2.0f;  // octaves the envelope opens the filter at full velocity
    float detune = 7.0f;     // cents between the two saws
    float subLevel = 0.30f;  // 0..1, a sine one octave down
    float volume = 0.50f;    // 0..1 output gain

    void setName(std::string_view text);
    std::string_view nameView() const;
};

// Ranges a patch must respect; anything outside (or not a number) is refused by the loaders.
bool patchIsValid(const Patch& patch);

// Parses one patch line of the data file or of a preset file:
//   name attack decay sustain release cutoff resonance envAmount detune subLevel volume
// The name is one word (underscores stand for spaces). Returns false when the line is not a patch.
bool parsePatchLine(std::string_view line, Patch& out);

// The patch the audio thread reads: each value an atomic, so that the GUI thread can change a
// patch while blocks run. A block may see a mix of old and new values for one block, which is
// inaudible; it never sees a torn float.
class PatchParams {
public:
    void store(const Patch& patch);
    Patch load() const;

private:
    std::atomic<float> attack_{0.f}, decay_{0.f}, sustain_{0.f}, release_{0.f}, cutoff_{0.f}, resonance_{0.f},
        envAmount_{0.f}, detune_{0.f}, subLevel_{0.f}, volume_{0.f};
};

} // namespace brevian
