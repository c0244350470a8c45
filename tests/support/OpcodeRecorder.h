// OpcodeRecorder: a recording stand-in for engineOpcode, for code that takes an
// EngineOpcodeFunction. While one lives, OpcodeRecorder::function() records every call (opcode,
// the text of p1 for the opcodes that take one, i1, i2, f, i3) and answers what the test set for that
// opcode (0 otherwise). VE_ENGINE_MIDI_POSITION_GET writes the position the test set. One at a
// time, GUI thread only.
//
//   test::OpcodeRecorder opcodes;
//   opcodes.answer(VE_ENGINE_MIDI_LOAD, kEngineFailed);
//   MIDIFilePlayerGUI player(..., test::OpcodeRecorder::function(), chooser);
//   EXPECT_EQ(opcodes.calls(), (std::vector<test::OpcodeCall>{{VE_ENGINE_MIDI_LOAD, "a.mid"}}));
#pragma once

#include "engineapi/EngineOpcodes.h"

#include <cassert>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vantor::test {

struct OpcodeCall {
    OpcodeCall(int32_t opcode_, std::string text_ = {}, int32_t i1_ = 0, int32_t i2_ = 0, float f_ = 0.0f,
               int32_t i3_ = 0)
        : opcode(opcode_), text(std::move(text_)), i1(i1_), i2(i2_), f(f_), i3(i3_) {}
    int32_t opcode = 0;
    std::string text; // p1 as UTF-8 for VE_ENGINE_MIDI_LOAD and VE_ENGINE_RECORDING_FILE_SET
    int32_t i1 = 0, i2 = 0;
    float f = 0.0f;
    int32_t i3 = 0;
    bool operator==(const OpcodeCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const OpcodeCall& call) {
    return out << "{" << call.opcode << " \"" << call.text << "\" " << call.i1 << " " << call.i2 << " "
               << call.f << " " << call.i3 << "}";
}

class OpcodeRecorder {
public:
    OpcodeRecorder() {
        assert(current() == nullptr);
        current() = this;
    }
    ~OpcodeRecorder() { current() = nullptr; }
    OpcodeRecorder(const OpcodeRecorder&) = delete;
    OpcodeRecorder& operator=(const OpcodeRecorder&) = delete;

    static EngineOpcodeFunction function() { return &call; }

    void answer(int32_t opcode, int32_t result) { answers_[opcode] = result; }
    // For opcodes that write results through p1 / p2 (device lists, settings): called after the
    // call is recorded; its answer replaces the one set with answer(). Empty: no outputs.
    using Outputs = std::function<int32_t(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3,
                                          int32_t answer)>;
    void setOutputs(Outputs outputs) { outputs_ = std::move(outputs); }
    void setPosition(double position) { position_ = position; }
    // What VE_ENGINE_AUDIO_ISPLAYING writes.
    void setPlaying(bool playing) { playing_ = playing; }
    const std::vector<OpcodeCall>& calls() const { return calls_; }
    void clear() { calls_.clear(); }

private:
    static OpcodeRecorder*& current() {
        static OpcodeRecorder* recorder = nullptr;
        return recorder;
    }
    static int32_t call(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3, float f) {
        OpcodeRecorder* self = current();
        if (!self) return kEngineFailed;
        OpcodeCall record{opcode, {}, i1, i2, f, i3};
        if ((opcode == VE_ENGINE_MIDI_LOAD || opcode == VE_ENGINE_RECORDING_FILE_SET) && p1)
            record.text = static_cast<const char*>(p1);
        self->calls_.push_back(record);
        if (opcode == VE_ENGINE_MIDI_POSITION_GET && p1) *static_cast<double*>(p1) = self->position_;
        if (opcode == VE_ENGINE_AUDIO_ISPLAYING && p1) *static_cast<bool*>(p1) = self->playing_;
        auto found = self->answers_.find(opcode);
        const int32_t answer = found == self->answers_.end() ? kEngineOk : found->second;
        return self->outputs_ ? self->outputs_(opcode, p1, p2, i1, i2, i3, answer) : answer;
    }

    std::map<int32_t, int32_t> answers_;
    Outputs outputs_;
    std::vector<OpcodeCall> calls_;
    double position_ = 0.0;
    bool playing_ = false;
};

} // namespace vantor::test
