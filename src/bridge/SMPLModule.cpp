#include "bridge/SMPLModule.h"
#include "app/Registry.h"
#include "app/UserMessage.h"
#include "bridge/AppDataFolder.h"
#include "engineapi/EngineOpcodes.h"
#include "bridge/CodeSignature.h"
#include "bridge/EditorHost.h"
#include "graph/DSPInfo.h"
#include "log/Log.h"
#include "log/TextConv.h"
#include "util/ProductNames.h"

#include <algorithm>
#include <exception>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

namespace vantor {

namespace {

constexpr const char16_t* kEngineKey = u"Software\\Vantor\\Brevian";
constexpr const char* kComponentMissing = "Cannot find Brevian engine component, please re-install";
constexpr const char16_t* kSettingsKey = u"Software\\Vantor\\QuorvelSA";

std::atomic<SMPLModule::OperationObserver> operationObserver{nullptr};
std::atomic<void*> operationObserverContext{nullptr};

void reportCallbackFailure(int32_t code, const char* what) noexcept {
    try {
        logError("host callback ", code, " failed: ", what);
    } catch (...) {
    }
}

} // namespace

void SMPLModule::setOperationObserver(OperationObserver observer, void* context) {
    operationObserverContext.store(context);
    operationObserver.store(observer);
}

SMPLModule::SMPLModule() : productKey_(u"Software\\Vantor\\Quorvel") {}

SMPLModule::~SMPLModule() {
    // The window stays (its user closes it) but must not tick a module that is gone.
    if (editorHost_) editorHost_->forgetModule();
    editorHost_ = nullptr;
    if (entry_ && editor_) {
        callEngine(engine_, BREVIAN_OP_EDITOR_DETACH, editor_);
        callEngine(editor_, BREVIAN_OP_EDITOR_DESTROY);
        editor_ = nullptr;
    }
    if (engine_) {
        callEngine(engine_, BREVIAN_OP_DESTROY);
        engine_ = nullptr;
        entry_ = nullptr;
    }
    if (library_) unloadLibrary(library_);
    library_ = nullptr;
}

int32_t SMPLModule::callEngine(void* handle, int32_t operation, void* p1, void* p2, void* p3, int32_t i1,
                               int32_t i2) {
    if (!entry_) return -1;
    if (OperationObserver observer = operationObserver.load(std::memory_order_relaxed))
        observer(operationObserverContext.load(std::memory_order_relaxed), handle, operation);
    return entry_(handle, operation, p1, p2, p3, i1, i2, 0, 0.0f);
}

void SMPLModule::setDataDirectoryUtf8(const std::string& text) {
    // Cut at a character boundary so the engine sees valid, terminated UTF-8.
    size_t length = std::min(text.size(), sizeof(dataDirectoryUtf8_) - 1);
    if (length < text.size())
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    std::memcpy(dataDirectoryUtf8_, text.data(), length);
    dataDirectoryUtf8_[length] = '\0';
}

bool SMPLModule::fail(const std::string& line, const char* message) {
    logError(line);
    if (reportFailures_) {
        // The caller (a command-line renderer) tells its user and decides how to end.
        failure_ = message ? std::string(message) + " (" + line + ")" : line;
        return false;
    }
    if (message) showMessageBox(kFullTitle, message);
    // The process ends as a normal exit does as far as sound goes: with no stream running. Ending
    // it under a running stream has crashed Wine's sound driver at process exit (status 139).
    // Nothing is saved.
    engineOpcode(VE_ENGINE_AUDIO_STOP, nullptr, nullptr, 0, 0, 0, 0.0f);
    exitProcess(0);
}

bool SMPLModule::init(Instance* context, DSPInfo* info) {
    setContext(context);
    info_ = info;
    dataDirectory_.clear();
    failure_.clear();
    logInfo("SMPLModule::init()");

    if (!registryReadString(kHiveLocalMachine, productKey_, u"base_dir", dataDirectory_))
        return fail("Can't get base_dir from registry", "Cannot find data installation, please re-install");
    if (!registryReadString(kHiveLocalMachine, kEngineKey, u"path_x64", enginePath_))
        return fail("Can't get engine path_x64 from registry",
                    "Cannot find engine installation, please re-install");

    // Nothing is loaded, not even to look at it, before the signature is accepted.
    std::string reason;
    VerifiedEngineFile verified;
    if (!verified.verify(enginePath_, reason))
        return fail("Engine signature check failed for " + wideToNarrow(enginePath_) + ": " + reason,
                    "The Brevian engine component is not signed by Vantor, please re-install");

    // Loaded while still held, so the file loaded is the file checked.
    library_ = loadLibrary(verified.loadPath());
    if (library_ && !verified.isTheLoadedFile(library_)) {
        unloadLibrary(library_);
        library_ = nullptr;
        return fail("Engine signature check failed for " + wideToNarrow(enginePath_) +
                        ": the file changed between its check and its load",
                    "The Brevian engine component is not signed by Vantor, please re-install");
    }
    verified.release();
    if (!library_) return fail("Can't load engine from : " + wideToNarrow(enginePath_), kComponentMissing);
    entry_ = reinterpret_cast<BrevianOpcodeFunction>(resolve(library_, BREVIAN_ENTRY_POINT_NAME));
    if (!entry_)
        return fail(std::string("GetProcAddress failed for ") + BREVIAN_ENTRY_POINT_NAME, kComponentMissing);

    char version[BREVIAN_VERSION_BUFFER_SIZE] = {};
    callEngine(nullptr, BREVIAN_OP_GET_VERSION, version);
    version[sizeof(version) - 1] = '\0';
    logInfo("fetched Version:", version);

    setDataDirectoryUtf8(wideToNarrow(dataDirectory_));
    descriptor_ = {0, BREVIAN_HOST_DESCRIPTOR_VERSION, BREVIAN_HOST_TAG,
                   static_cast<uint64_t>(reinterpret_cast<uintptr_t>(dataDirectoryUtf8_))};
    if (!engine_) callEngine(nullptr, BREVIAN_OP_CREATE, &descriptor_, &engine_);
    if (!engine_) {
        logError("Engine creation failed!");
        const std::string folder = executableFolder();
        setDataDirectoryUtf8(folder);
        callEngine(nullptr, BREVIAN_OP_CREATE, &descriptor_, &engine_);
        if (!engine_) return fail("Engine creation failed from " + folder + " too", nullptr);
        logInfo("found the file in the current directory : ", folder);
    }
    if (info)
        callEngine(engine_, BREVIAN_OP_SET_STREAM, nullptr, nullptr, nullptr,
                   static_cast<int32_t>(info->sampleRateInt), static_cast<int32_t>(info->blockSize));
    return true;
}

void SMPLModule::setDSPInfo(DSPInfo* info) {
    info_ = info;
    if (!info) return;
    if (engine_)
        callEngine(engine_, BREVIAN_OP_SET_STREAM, nullptr, nullptr, nullptr,
                   static_cast<int32_t>(info->sampleRateInt), static_cast<int32_t>(info->blockSize));
    const bool offline = info->isOffline();
    offline_.store(offline, std::memory_order_release);
    // The media bar follows: a recording ends before an offline render, and the player's file is
    // loaded again for the new stream.
    if (editorHost_) {
        if (offline)
            editorHost_->stopRecording();
        else
            editorHost_->reloadMidiFile();
    }
}

void SMPLModule::start() {
    callEngine(engine_, BREVIAN_OP_START, nullptr, nullptr, nullptr, info_ && info_->isOffline() ? 1 : 0);
}

void SMPLModule::stop() {
    callEngine(engine_, BREVIAN_OP_STOP);
}

bool SMPLModule::saveChunk(void** data, int32_t* size) {
    return entry_ && callEngine(engine_, BREVIAN_OP_STATE_SAVE, data, size) == 0;
}

bool SMPLModule::loadChunk(const void* data, int32_t size) {
    return entry_ &&
           callEngine(engine_, BREVIAN_OP_STATE_LOAD, const_cast<void*>(data), nullptr, nullptr, size) == 0;
}

bool SMPLModule::showUI(void* /*parent*/) {
    if (!entry_) return false;
    if (editorHost_) {
        // One editor, one window: a second request brings the existing window forward.
        editorHost_->showAndStartIdle();
        return false;
    }
    const std::string productPath = std::string(dataDirectoryUtf8_) + pathSeparator() + "Product.xml";
    uint32_t mediaBar = 0;
    if (registryReadDword(kHiveLocalMachine, kSettingsKey, u"usesMediaBar", mediaBar))
        usesMediaBar_ = static_cast<int32_t>(mediaBar);

    callEngine(nullptr, BREVIAN_OP_EDITOR_CREATE, const_cast<char*>(productPath.c_str()), &editor_, engine_);

    editorHost_ = createEditorHost(*this, usesMediaBar_ != 0);
    if (!editorHost_) return false; // logged; the editor stays closed
    callEngine(editor_, BREVIAN_OP_EDITOR_OPEN, editorHost_->getHandle());
    callEngine(engine_, BREVIAN_OP_EDITOR_ATTACH, editor_);

    int32_t height = 0, width = 0;
    callEngine(editor_, BREVIAN_OP_EDITOR_GET_SIZE, &height, &width);
    editorHost_->chooseLayout(width);

    callEngine(engine_, BREVIAN_OP_SET_HOST_CALLBACK, reinterpret_cast<void*>(&SMPLModule::hostCallback),
               this);

    // An editor that gives no size leaves the window as created.
    if (width > 0 && height > 0) editorHost_->fitToEditor(width, height, 100, 100);
    editorHost_->showAndStartIdle();
    loadStartupState();
    return false;
}

namespace {

bool isRegularFile(const std::u16string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

} // namespace

void SMPLModule::loadStateFile(const std::u16string& path) {
    // Nothing is shown to the user: the engine keeps the state it has.
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file) {
        logWarning("state file cannot be opened: ", wideToNarrow(path));
        return;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    if (size <= 0) {
        logWarning("state file is empty: ", wideToNarrow(path));
        return;
    }
    if (size > kMaxStateFileBytes) {
        logError("state file too large: ", wideToNarrow(path));
        return;
    }
    std::vector<char> bytes(static_cast<size_t>(size));
    file.read(bytes.data(), size);
    // A file that shrank since its size was taken gives the engine only what was read.
    const std::streamsize got = file.gcount();
    if (got >= 1 && !loadChunk(bytes.data(), static_cast<int32_t>(got)))
        logWarning("the engine refused the state file ", wideToNarrow(path));
}

std::u16string SMPLModule::defaultStateFilePath() const {
    const std::u16string folder = appDataFolder();
    if (folder.empty()) return {};
    return folder + std::u16string(1, static_cast<char16_t>(pathSeparator())) + u"default.brevian";
}

bool SMPLModule::saveDefaultStateFile() {
    const std::u16string path = defaultStateFilePath();
    if (path.empty()) {
        const std::string text =
            "The sound could not be saved as the default: the application data folder is unknown.";
        logError(text);
        showMessageBox(kProductName, text);
        return false;
    }
    return saveStateFile(path);
}

bool SMPLModule::saveStateFile(const std::u16string& path) {
    namespace fs = std::filesystem;
    std::string reason;
    const fs::path target(path);
    fs::path temporary = target;
    temporary += u".saving";
    bool written = false;
    void* data = nullptr;
    int32_t size = 0;
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (path.empty()) {
        reason = "no file name";
    } else if (!saveChunk(&data, &size) || size < 0 || (size > 0 && !data)) {
        reason = "the engine gave no state";
    } else if (size == 0) {
        // A file without a state is not one: the next start would load nothing from it.
        reason = "the engine gave an empty state";
    } else if (fs::exists(status) && !fs::is_regular_file(status)) {
        reason = "it is not a file";
    } else if (fs::exists(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {
        // Replacing it would get round the protection its owner gave it.
        reason = "the file is read-only";
    } else {
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            if (!out) {
                reason = target.has_parent_path() && !fs::is_directory(target.parent_path(), error)
                             ? "its folder does not exist"
                             : "no file can be created in its folder";
            } else {
                out.write(static_cast<const char*>(data), size);
                out.flush();
                if (!out) reason = "writing failed";
                out.close();
                if (reason.empty() && out.fail()) reason = "writing failed";
            }
        }
        if (reason.empty() && fs::file_size(temporary, error) != static_cast<uintmax_t>(size))
            reason = "the written file is incomplete";
        if (reason.empty() && replaceFile(temporary.u16string(), path, reason)) written = true;
        if (!written) fs::remove(temporary, error);
    }
    if (written) {
        logInfo("state saved to ", wideToNarrow(path));
        return true;
    }
    const std::string text = "The sound could not be saved to " + wideToNarrow(path) + ": " + reason +
                             ". A file that was there is unchanged.";
    logError(text);
    showMessageBox(kProductName, text);
    return false;
}

void SMPLModule::loadStartupState() {
    const std::u16string separator(1, static_cast<char16_t>(pathSeparator()));
    std::u16string statePath = appDataFolder() + separator + u"default.brevian";

    AppArgumentList arguments;
    if (engineOpcode(VE_ENGINE_APP_ARGUMENTS_GET, &arguments, nullptr, 0, 0, 0, 0.0f) == kEngineOk &&
        arguments.size() >= 2) {
        std::u16string argument;
        if (!tryNarrowToWide(arguments[1], argument))
            logError("the file named on the command line is not UTF-8, ignored: ", arguments[1]);
        if (isRegularFile(argument)) {
            const size_t dot = argument.rfind(u'.');
            const std::u16string extension = dot == std::u16string::npos ? u"" : argument.substr(dot + 1);
            if (extension != u"brevian") {
                // Anything else is the engine's to open (a preset, a sample...); no state is loaded.
                openFile(arguments[1]);
                return;
            }
            statePath = argument;
        }
    }
    if (!isRegularFile(statePath)) {
        logInfo("no user default.", "brevian", " found, check in app dataPath");
        statePath = dataDirectory_ + separator + u"default.brevian";
    }
    if (isRegularFile(statePath)) loadStateFile(statePath);
}

int32_t SMPLModule::hostCallback(int32_t code, void* /*p1*/, void* /*p2*/, int32_t i1, int32_t i2,
                                 int32_t /*i3*/, float /*f*/, void* context) {
    // Called from inside the engine: nothing may unwind into it.
    try {
        auto* module = static_cast<SMPLModule*>(context);
        if (code == BREVIAN_HOST_EDITOR_RESIZED && module && module->editorHost_)
            module->editorHost_->editorResized(i1, i2);
    } catch (const std::exception& e) {
        reportCallbackFailure(code, e.what());
    } catch (...) {
        reportCallbackFailure(code, "unknown exception");
    }
    return 0;
}

void SMPLModule::editorHostGone(EditorHost* host) {
    if (editorHost_ == host) editorHost_ = nullptr;
}

bool SMPLModule::openFile(const std::string& pathUtf8) {
    return entry_ && callEngine(engine_, BREVIAN_OP_OPEN_FILE, const_cast<char*>(pathUtf8.c_str())) == 0;
}

void SMPLModule::timerTick() {
    if (engine_) callEngine(engine_, BREVIAN_OP_IDLE);
}

void SMPLModule::processBlock(MidiEventArray& events, float** /*inputs*/, float** outputs, uint32_t frames,
                              bool /*flag*/) {
    const size_t count = std::min<size_t>(events.size(), BREVIAN_MAX_BLOCK_EVENTS);
    events_.count = count;
    static_assert(sizeof(MidiEvent) == sizeof(BrevianMidiEvent));
    if (count) std::memcpy(events_.events, events.data(), count * sizeof(BrevianMidiEvent));
    if (engine_)
        callEngine(engine_, BREVIAN_OP_PROCESS, &events_, outputs, nullptr, static_cast<int32_t>(frames));
}

} // namespace vantor
