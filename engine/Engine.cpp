#include "Engine.h"

#include "Editor.h"

#include <cstring>
#include <string_view>

namespace brevian {

namespace {

// The host's opcodes the engine uses.
constexpr int32_t kHostVersion = 260;
constexpr int32_t kHostIdle = 263;
constexpr int32_t kHostShowAudioPanel = 283;
constexpr int32_t kHostAudioStart = 300;
constexpr int32_t kHostAudioStop = 301;
constexpr int32_t kHostAudioIsPlaying = 302;

constexpr std::string_view kDataHeader = "BREVIAN-DATA 1";
constexpr std::string_view kPresetHeader = "BREVIAN-PRESET 1";
constexpr std::size_t kMaxDataDirectory = 4096;

// Splits text into lines and hands each patch line to `take`; returns false when the first line
// is not `header`.
template <typename Take>
bool forEachPatchLine(const std::vector<uint8_t>& bytes, std::string_view header, Take take) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3); // editors add a UTF-8 mark
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (first) {
            if (line != header) return false;
            first = false;
            continue;
        }
        if (line.empty() || line.front() == '#') continue;
        Patch p;
        if (parsePatchLine(line, p)) take(p);
    }
    return !first;
}

} // namespace

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    return folder + pathSeparator() + name;
}

bool parseDataFile(const std::vector<uint8_t>& bytes, std::vector<Patch>& out) {
    std::vector<Patch> found;
    if (!forEachPatchLine(bytes, kDataHeader, [&](const Patch& p) { found.push_back(p); })) return false;
    if (found.empty()) return false;
    out = std::move(found);
    return true;
}

Engine::CreateError Engine::create(const BrevianHostDescriptor* descriptor, Engine** out) {
    if (out != nullptr) *out = nullptr;
    if (descriptor == nullptr || out == nullptr) return CreateError::NullDescriptor;
    if (descriptor->reserved != 0 || descriptor->version != BREVIAN_HOST_DESCRIPTOR_VERSION)
        return CreateError::BadDescriptor;
    if (descriptor->hostTag != BREVIAN_HOST_TAG) return CreateError::BadHostTag;
    const char* dir = reinterpret_cast<const char*>(static_cast<uintptr_t>(descriptor->dataDirectory));
    if (dir == nullptr) return CreateError::NoDataDirectory;
    const std::size_t dirLength = strnlen(dir, kMaxDataDirectory);
    if (dirLength == 0 || dirLength == kMaxDataDirectory) return CreateError::NoDataDirectory;

    std::string directory(dir, dirLength);
    std::vector<uint8_t> bytes;
    if (!readSmallFile(joinPath(directory, kDataFileName), kMaxDataFileSize, bytes))
        return CreateError::NoDataFile;
    std::vector<Patch> patches;
    if (!parseDataFile(bytes, patches)) return CreateError::BadDataFile;

    Engine* engine = new Engine();
    engine->dataDirectory_ = std::move(directory);
    engine->patches_ = std::move(patches);
    engine->current_ = engine->patches_.front();
    engine->params_.store(engine->current_);
    engine->synth_.setSampleRate(engine->sampleRate_.load());

    // A real engine tells the host who it is talking to; the host logs the call.
    engine->hostEntry_ = findHostEntry();
    if (engine->hostEntry_ != nullptr) {
        char version[64] = {};
        if (engine->hostEntry_(kHostVersion, version, nullptr, 0, 0, 0, 0.f) == 0) {
            version[sizeof version - 1] = '\0';
            engine->hostVersion_ = version;
        }
    }
    *out = engine;
    return CreateError::None;
}

Engine::~Engine() {
    for (Editor* editor : editors_)
        editor->forgetEngine();
    magic_ = 0;
}

bool Engine::setStream(int32_t sampleRate, int32_t blockSize) {
    if (sampleRate < 8000 || sampleRate > 384000 || blockSize <= 0 || blockSize > 1 << 16) return false;
    sampleRate_.store(sampleRate, std::memory_order_relaxed);
    blockSize_.store(blockSize, std::memory_order_relaxed);
    return true;
}

void Engine::start(bool offline) {
    offline_.store(offline, std::memory_order_relaxed);
    running_.store(true, std::memory_order_relaxed);
}

void Engine::stop() {
    running_.store(false, std::memory_order_relaxed);
    // Notes held when the stream stops must not sound on when it starts again. The audio thread
    // owns the voices, so it clears them itself at its next block.
    resetRequested_.store(true, std::memory_order_release);
}

bool Engine::process(const BrevianEventBlock* block, float* const* outputs, int32_t frames) {
    if (outputs == nullptr || outputs[0] == nullptr || outputs[1] == nullptr || frames < 0) return false;
    if (resetRequested_.exchange(false, std::memory_order_acquire)) synth_.reset();
    const double rate = sampleRate_.load(std::memory_order_relaxed);
    if (rate != synth_.sampleRate()) synth_.setSampleRate(rate);

    int count = 0;
    if (block != nullptr) {
        count = block->count > BREVIAN_MAX_BLOCK_EVENTS ? BREVIAN_MAX_BLOCK_EVENTS
                                                        : static_cast<int>(block->count);
        for (int i = 0; i < count; ++i) {
            const BrevianMidiEvent& e = block->events[i];
            events_[i] = SynthEvent{e.status, e.data1, e.data2, e.frameOffset};
        }
    }
    const Patch patch = params_.load();
    synth_.render(events_.data(), count, outputs[0], outputs[1], frames, patch);
    activeVoices_.store(synth_.activeVoices(), std::memory_order_relaxed);
    return true;
}

const StateBytes& Engine::saveState() {
    encodeState(current_, saved_);
    return saved_;
}

StateError Engine::loadState(const void* data, std::size_t size) {
    Patch p;
    const StateError error = decodeState(data, size, p);
    if (error == StateError::None) selectPatch(p);
    return error;
}

bool parseEditorSize(const std::vector<uint8_t>& bytes, int32_t& width, int32_t& height) {
    // Two decimal numbers and nothing else but white space; at most 5 digits each (no overflow).
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    int32_t values[2] = {0, 0};
    for (int32_t& value : values) {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
        std::size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
        if (digits == 0 || digits > 5) return false;
        for (std::size_t i = 0; i < digits; ++i) value = value * 10 + (text[i] - '0');
        text.remove_prefix(digits);
    }
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    width = values[0];
    height = values[1];
    return true;
}

bool isEditorSizeFile(std::string_view path) {
    constexpr std::string_view kExtension = ".editorsize";
    if (path.size() < kExtension.size()) return false;
    path = path.substr(path.size() - kExtension.size());
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        const char c = path[i] >= 'A' && path[i] <= 'Z' ? static_cast<char>(path[i] - 'A' + 'a') : path[i];
        if (c != kExtension[i]) return false;
    }
    return true;
}

bool Engine::openFile(const char* utf8Path) {
    if (utf8Path == nullptr || *utf8Path == '\0') return false;
    std::vector<uint8_t> bytes;
    if (!readSmallFile(utf8Path, kMaxOpenFileSize, bytes)) return false;
    if (isEditorSizeFile(utf8Path)) {
        // For tests of a host's resize handling: the attached editor takes exactly this size.
        int32_t width = 0, height = 0;
        return editor_ != nullptr && parseEditorSize(bytes, width, height) && editor_->requestSize(width, height);
    }
    if (looksLikeState(bytes.data(), bytes.size()))
        return loadState(bytes.data(), bytes.size()) == StateError::None;
    // A preset file: its first valid patch becomes the current one.
    bool found = false;
    Patch chosen;
    const bool headerOk = forEachPatchLine(bytes, kPresetHeader, [&](const Patch& p) {
        if (!found) chosen = p;
        found = true;
    });
    if (!headerOk || !found) return false;
    selectPatch(chosen);
    return true;
}

void Engine::selectPatch(const Patch& patch) {
    current_ = patch;
    params_.store(patch);
    for (std::size_t i = 0; i < patches_.size(); ++i)
        if (patches_[i].nameView() == patch.nameView()) currentIndex_ = i;
    if (editor_ != nullptr) editor_->refresh();
}

void Engine::selectNextPatch() {
    currentIndex_ = (currentIndex_ + 1) % patches_.size();
    selectPatch(patches_[currentIndex_]);
}

void Engine::setHostCallback(BrevianHostCallback callback, void* context) {
    hostCallback_ = callback;
    hostContext_ = context;
}

int32_t Engine::callHost(int32_t code, int32_t i1, int32_t i2) {
    if (hostCallback_ == nullptr) return 1;
    return hostCallback_(code, nullptr, nullptr, i1, i2, 0, 0.f, hostContext_);
}

void Engine::detachEditor(Editor* editor) {
    if (editor_ == editor) editor_ = nullptr;
}

void Engine::removeEditor(Editor* editor) {
    detachEditor(editor);
    std::erase(editors_, editor);
}

bool Engine::showAudioPanel(void* parent) {
    if (hostEntry_ == nullptr) return false;
    // The host opens a driver's panel only while audio is stopped.
    bool playing = false;
    hostEntry_(kHostAudioIsPlaying, &playing, nullptr, 0, 0, 0, 0.f);
    if (playing) hostEntry_(kHostAudioStop, nullptr, nullptr, 0, 0, 0, 0.f);
    const bool shown = hostEntry_(kHostShowAudioPanel, parent, nullptr, 0, 0, 0, 0.f) == 0;
    if (playing) hostEntry_(kHostAudioStart, nullptr, nullptr, 0, 0, 0, 0.f);
    return shown;
}

void Engine::idle() {
    if (hostEntry_ != nullptr) hostEntry_(kHostIdle, nullptr, nullptr, 0, 0, 0, 0.f);
    if (editor_ != nullptr) editor_->idle();
}

} // namespace brevian
