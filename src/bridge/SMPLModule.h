// The instrument as the graph sees it: finds the engine component through the registry, checks
// its signature, loads it, creates the engine and forwards every module operation to the
// component's brevianOpcode.
#pragma once

#include "engineapi/BrevianComponent.h"
#include "graph/Module.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace vantor {

class EditorHost;

// Threads: init, start, stop, the state and editor operations and the timer tick run on the GUI
// (opcode) thread; processBlock runs on the audio or offline thread, while the graph's lock is
// held by it; setDSPInfo runs on the opcode thread with audio stopped.
class SMPLModule : public Module {
public:
    SMPLModule();
    ~SMPLModule() override;

    // Loads and creates the engine. Returns true; every failure ends the process (status 0)
    // after telling the user, before anything unverified is loaded. With failures reported to
    // the caller, a failure is logged, kept in failure() and answered with false instead.
    bool init(Instance* context, DSPInfo* info) override;
    void setReportFailures(bool on) { reportFailures_ = on; }
    // What the user is told of the last failure of init (empty when it loaded).
    const std::string& failure() const { return failure_; }
    void setDSPInfo(DSPInfo* info) override;
    void start() override;
    void stop() override;
    bool saveChunk(void** data, int32_t* size) override;
    bool loadChunk(const void* data, int32_t size) override;
    // Hands the engine at most BREVIAN_MAX_BLOCK_EVENTS events of the block; the rest are dropped.
    void processBlock(MidiEventArray& events, float** inputs, float** outputs, uint32_t frames,
                      bool flag) override;

    // Opens the engine's editor in a new window from the installed editor-host factory, sized to
    // it, starts the window's idle tick and shows it. Returns false (the window is not a UI the
    // graph closes).
    bool showUI(void* parent) override;

    bool openFile(const std::string& pathUtf8);
    // The largest state file handed to the engine (64 MiB, far above any state the engine writes):
    // a larger file is refused with an error line, unread.
    static constexpr int64_t kMaxStateFileBytes = int64_t(64) << 20;
    // Hands the engine the bytes of a state file, as many as could be read; nothing happens when
    // it cannot be read or is larger than kMaxStateFileBytes.
    void loadStateFile(const std::u16string& path);
    // The state a start begins with: a state file or other file named on the command line, else
    // the user's default state, else the factory default.
    void loadStartupState();
    // Saves the engine's state to `path` without putting the file there at risk: the bytes go to
    // a temporary file beside it, are checked, and only then replace it. Any failure (the engine
    // gives no state or an empty one, a read-only or unwritable target, a missing folder, a short
    // write) is logged and shown in a message box, and whatever file was there stays as it was.
    // The temporary file is removed. True when the state is in the file.
    bool saveStateFile(const std::u16string& path);
    // The user's default state file: the app data folder's default.brevian (not created here).
    std::u16string defaultStateFilePath() const;
    bool saveDefaultStateFile();

    // The engine's idle call (the main window's 16 ms tick).
    void timerTick();
    // The main window's tick counter: its media bar refreshes on every 21st tick.
    int8_t tickCounter() const { return timerTicks_; }
    void countTick() { ++timerTicks_; }
    void resetTickCounter() { timerTicks_ = 0; }

    // What the engine calls back (registered with operation 32), from any thread of the engine's.
    // Code 8198 fits the editor's window to an editor of i1 x i2 pixels. Answers 0 to every code.
    static int32_t hostCallback(int32_t code, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3, float f,
                                void* context);

    EditorHost* editorHost() const { return editorHost_; }
    void* editorHandle() const { return editor_; }
    bool usesMediaBar() const { return usesMediaBar_ != 0; }
    // The editor's window is being destroyed: forget it.
    void editorHostGone(EditorHost* host);

    // Tests: sees every operation handed to the engine, before it is handed (handle, operation).
    // Set it only while no block renders.
    using OperationObserver = void (*)(void* context, void* handle, int32_t operation);
    static void setOperationObserver(OperationObserver observer, void* context);

    void* engineHandle() const { return engine_; }
    const std::u16string& enginePath() const { return enginePath_; }
    const std::u16string& dataDirectory() const { return dataDirectory_; }
    const char* dataDirectoryUtf8() const { return dataDirectoryUtf8_; }
    // Set while the instance's stream is offline; read by the main window's tick.
    bool offline() const { return offline_.load(std::memory_order_acquire); }
    const BrevianEventBlock& eventBlock() const { return events_; }

    // The folder of the running executable (up to its last backslash, else its last "/", else ".").
    static std::string executableFolder();

private:
    int32_t callEngine(void* handle, int32_t operation, void* p1 = nullptr, void* p2 = nullptr,
                       void* p3 = nullptr, int32_t i1 = 0, int32_t i2 = 0);
    void setDataDirectoryUtf8(const std::string& text);
    // Ends the process, or with failures reported returns false.
    bool fail(const std::string& logLine, const char* message);

    // The platform's library seam.
    static void* loadLibrary(const std::u16string& path);
    static void* resolve(void* library, const char* name);
    static void unloadLibrary(void* library);
    // The separator between the data directory and a file in it.
    static char pathSeparator();
    // Puts `from` in the place of `to` in one step (replacing it when it exists). False with the
    // system's reason when it cannot; `from` is left where it was then.
    static bool replaceFile(const std::u16string& from, const std::u16string& to, std::string& reason);

    void* engine_ = nullptr;
    void* editor_ = nullptr;
    BrevianOpcodeFunction entry_ = nullptr;
    BrevianHostDescriptor descriptor_{};
    BrevianEventBlock events_{};
    std::u16string enginePath_;
    std::u16string dataDirectory_;
    char dataDirectoryUtf8_[2048] = {};
    std::atomic<bool> offline_{false};
    int32_t usesMediaBar_ = 0;
    std::u16string productKey_;
    void* library_ = nullptr;
    EditorHost* editorHost_ = nullptr;
    int8_t timerTicks_ = 0;
    bool reportFailures_ = false;
    std::string failure_;
};

} // namespace vantor
