// The offline render dialog's behaviour, apart from its window: the two file choices and their
// labels, when Render is enabled, and the render itself driven through engineOpcode with the
// command-line renderer's pieces (the MIDI file the dialog shows loaded again, offline on,
// recording file set and start, play, audio start; a poll of the player's position every 200 ms;
// the finish sequence at the end or on a confirmed cancel). The Win32 dialog (template 116) feeds
// it the user's actions and shows what it asks for through RenderOfflineView.
//
// GUI thread only.
#pragma once

#include "engineapi/EngineOpcodes.h"
#include "toolkit/VxProgressDialogBase.h"

#include <memory>
#include <string>

namespace vantor {

class RenderOfflineView {
public:
    virtual ~RenderOfflineView() = default;
    virtual void setLabel(int id, const std::u16string& text) = 0;
    virtual void enableRender(bool on) = 0;
    virtual void startPollTimer() = 0; // timer 1002, 200 ms
    virtual void stopPollTimer() = 0;
    // The progress window over the dialog (which it disables while it exists).
    virtual std::unique_ptr<VxProgressDialogBase> makeProgress(const std::u16string& title, uint16_t range,
                                                               bool cancelButton, bool confirmCancel) = 0;
    // A message box about a file the render cannot use.
    virtual void showMessage(const std::u16string& text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const std::u16string& text) = 0;
};

class RenderOffline {
public:
    static constexpr int kMidiLabel = 1011;
    static constexpr int kAudioLabel = 1012;
    static constexpr int kChooseMidi = 1008;
    static constexpr int kChooseAudio = 1009;
    static constexpr int kRender = 1010;
    static constexpr unsigned kPollTimer = 1002;
    static constexpr unsigned kPollMilliseconds = 200;
    // A render of a file that plays longer than this asks first.
    static constexpr double kAskAboveSeconds = 3600.0;

    // Stops audio if it plays (and remembers that it did).
    RenderOffline(EngineOpcodeFunction opcode, RenderOfflineView& view);
    // Starts audio again if it played when the dialog opened.
    ~RenderOffline();
    RenderOffline(const RenderOffline&) = delete;
    RenderOffline& operator=(const RenderOffline&) = delete;

    // The path up to its last '.', then what follows the last '\' of that.
    static std::u16string displayName(const std::u16string& path);

    // A path came back from the MIDI file selector: loaded into the player; true when it loaded,
    // else the user is told it is not a MIDI file and nothing changes.
    bool midiChosen(const std::u16string& path);
    // A path came back from the WAV save selector.
    void outputChosen(const std::u16string& path);
    bool renderEnabled() const { return midiLoaded_ && outputChosen_ && !rendering_; }
    // Render pressed: renders the files the labels show. False when it did not start (the MIDI
    // file cannot be loaded again, the user declined a long render, the output cannot be created,
    // the instance refused to go offline).
    bool startRender();
    // Timer 1002.
    void poll();
    bool rendering() const { return rendering_; }
    bool wasPlaying() const { return wasPlaying_; }

private:
    void finish();
    void midiRefused(const std::u16string& path);
    int32_t send(int32_t opcode, void* p1 = nullptr, int32_t i1 = 0, int32_t i2 = 0, float f = 0.0f);

    EngineOpcodeFunction opcode_;
    RenderOfflineView& view_;
    std::unique_ptr<VxProgressDialogBase> progress_;
    std::u16string midiPath_;
    std::u16string outputPath_;
    bool wasPlaying_ = false;
    bool midiLoaded_ = false;
    bool outputChosen_ = false;
    bool rendering_ = false;
    bool renderButton_ = false;
};

} // namespace vantor
