// One Brevian engine: the patches of its data file, the current patch, the voice engine and the
// links to the host (its callback and its exported entry point). Created by operation 9.
//
// Threads: render() runs on the host's audio or offline thread; everything else on the GUI thread.
// They share only atomics (the patch values, the rate, the reset request, the voice count).
#pragma once

#include "BrevianComponent.h"
#include "EngineState.h"
#include "Patch.h"
#include "Platform.h"
#include "Synth.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brevian {

// The file the engine needs in its data directory: its factory patches.
inline constexpr char kDataFileName[] = "Brevian.dat";
inline constexpr char kVersionText[] = "Brevian 1.0.0";
constexpr std::size_t kMaxDataFileSize = 1 << 20;
constexpr std::size_t kMaxOpenFileSize = 1 << 16;

class Editor;

class Engine {
public:
    static constexpr uint32_t kMagic = 0x454E4742; // tells an engine handle from an editor handle

    enum class CreateError {
        None,
        NullDescriptor,
        BadDescriptor,
        BadHostTag,
        NoDataDirectory,
        NoDataFile,
        BadDataFile
    };

    // Builds an engine from the host descriptor, or says why not (the handle stays null).
    static CreateError create(const BrevianHostDescriptor* descriptor, Engine** out);

    ~Engine();

    bool isEngine() const { return magic_ == kMagic; }

    // Operation 11. Ignores rates and sizes no audio device gives.
    bool setStream(int32_t sampleRate, int32_t blockSize);
    void start(bool offline);
    void stop();
    bool running() const { return running_.load(std::memory_order_relaxed); }
    bool offline() const { return offline_.load(std::memory_order_relaxed); }
    double sampleRate() const { return sampleRate_.load(std::memory_order_relaxed); }

    // Operation 15: renders the block into the two channels.
    bool process(const BrevianEventBlock* block, float* const* outputs, int32_t frames);

    // Operations 18 and 19.
    const StateBytes& saveState();
    StateError loadState(const void* data, std::size_t size);

    // Operation 40: a state file (as saved), a preset file (patch lines as in the data file), or an
    // editor size file (name ending in ".editorsize", text "WIDTH HEIGHT"): the attached editor
    // takes that size and asks the host for it (callback 8198). Without an attached editor, or with
    // a size out of range, the size file is refused.
    bool openFile(const char* utf8Path);

    // Patches of the data file, and the one in use (GUI thread).
    const std::vector<Patch>& patches() const { return patches_; }
    const Patch& currentPatch() const { return current_; }
    void selectPatch(const Patch& patch);
    void selectNextPatch();

    const std::string& dataDirectory() const { return dataDirectory_; }
    const std::string& hostVersion() const { return hostVersion_; }
    int activeVoices() const { return activeVoices_.load(std::memory_order_relaxed); }

    // Operations 32, 21, 22, 26.
    void setHostCallback(BrevianHostCallback callback, void* context);
    int32_t callHost(int32_t code, int32_t i1, int32_t i2);
    bool hasHostCallback() const { return hostCallback_ != nullptr; }
    void attachEditor(Editor* editor) { editor_ = editor; }
    void detachEditor(Editor* editor);
    // Editors made for this engine, so that each can be told when the engine goes first.
    void addEditor(Editor* editor) { editors_.push_back(editor); }
    void removeEditor(Editor* editor);
    Editor* attachedEditor() const { return editor_; }
    void idle();
    // The audio driver's own settings window (ASIO), through the host's exported entry point, with
    // audio stopped around it. False when the host has none to show.
    bool showAudioPanel(void* parent);

private:
    Engine() = default;

    uint32_t magic_ = kMagic;
    std::string dataDirectory_;
    std::vector<Patch> patches_;
    Patch current_;
    std::size_t currentIndex_ = 0;
    StateBytes saved_{};
    std::string hostVersion_;
    HostEntry hostEntry_ = nullptr;
    BrevianHostCallback hostCallback_ = nullptr;
    void* hostContext_ = nullptr;
    Editor* editor_ = nullptr;
    std::vector<Editor*> editors_;

    PatchParams params_;
    std::atomic<double> sampleRate_{44100.0};
    std::atomic<int32_t> blockSize_{512};
    std::atomic<bool> running_{false};
    std::atomic<bool> offline_{false};
    std::atomic<bool> resetRequested_{false};
    std::atomic<int> activeVoices_{0};

    // Audio thread only.
    Synth synth_;
    std::array<SynthEvent, BREVIAN_MAX_BLOCK_EVENTS> events_{};
};

// Parses the data file: a first line "BREVIAN-DATA 1", then patch lines; '#' starts a comment.
// False when the header is wrong or no patch is valid.
bool parseDataFile(const std::vector<uint8_t>& bytes, std::vector<Patch>& out);

// An editor size file's text: two decimal numbers, width then height, separated and optionally
// followed by white space. False for anything else.
bool parseEditorSize(const std::vector<uint8_t>& bytes, int32_t& width, int32_t& height);
bool isEditorSizeFile(std::string_view path);

} // namespace brevian
