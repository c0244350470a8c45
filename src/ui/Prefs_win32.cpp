#include "ui/Prefs_win32.h"

#include "ui/Prefs.h"

#include "app/AudioStartMessages.h"
#include "app/UserMessage.h"
#include "log/Log.h"
#include "log/TextConv.h"
#include "toolkit/Application.h"

#include <algorithm>
#include <commctrl.h>
#include <cstring>
#include <set>

namespace vantor {

namespace {

Prefs::OwnedBox& ownedBox() {
    static Prefs::OwnedBox box;
    return box;
}

void showOwnedBox(HWND owner, const std::string& caption, const std::string& text) {
    if (ownedBox()) {
        ownedBox()(owner, caption, text);
        return;
    }
    const std::u16string wideCaption = narrowToWide(caption), wideText = narrowToWide(text);
    MessageBoxW(owner, reinterpret_cast<const wchar_t*>(wideText.c_str()),
                reinterpret_cast<const wchar_t*>(wideCaption.c_str()), MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

void addString(HWND combo, const std::u16string& text) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::u16string decimal(int32_t value) {
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

} // namespace

void Prefs::setOwnedBox(OwnedBox box) { ownedBox() = std::move(box); }

std::u16string Prefs::apiName(int32_t code) {
    switch (code) {
    case kAudioApiMME: return u"MME";
    case kAudioApiDirectSound: return u"DirectSound";
    case kAudioApiASIO: return u"ASIO";
    case kAudioApiWASAPI: return u"WASAPI";
    case kAudioApiCoreAudio: return u"CORE AUDIO";
    default: return {};
    }
}

Prefs::Prefs(HWND parent, EngineOpcodeFunction opcode) : opcode_(opcode ? opcode : &engineOpcode) {
    // The host refuses device and rate changes while audio plays: the dialog works on a stopped engine.
    bool playing = false;
    call(VE_ENGINE_AUDIO_ISPLAYING, &playing);
    wasPlaying_ = playing;
    if (wasPlaying_) call(VE_ENGINE_AUDIO_STOP);
    result_ = DialogBoxParamW(static_cast<HINSTANCE>(VTR::moduleInstance()), MAKEINTRESOURCEW(kTemplate), parent,
                              &Prefs::dialogProcedure, reinterpret_cast<LPARAM>(this));
    if (result_ == -1) logError("Preferences: the dialog could not be shown, error ", GetLastError());
}

Prefs::~Prefs() {
    // Without this box a device that cannot start at the chosen settings would simply stay silent.
    if (wasPlaying_ && call(VE_ENGINE_AUDIO_START) != kEngineOk) {
        logError("Preferences: audio could not be started again");
        showMessageBox(kAudioStartErrorCaption, kAudioStartErrorText);
    }
    delete midiList_;
}

int32_t Prefs::call(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3) const {
    return opcode_(opcode, p1, p2, i1, i2, i3, 0.0f);
}

int Prefs::selection(int id) const {
    return static_cast<int>(SendMessageW(control(id), CB_GETCURSEL, 0, 0));
}

INT_PTR CALLBACK Prefs::dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<Prefs*>(lParam);
        self->dialog_ = dialog;
        self->fillMidiList();
        self->fillApiList();
        self->fillDeviceList();
        self->fillStereoPairList(true);
        self->fillSampleRateList();
        self->fillBufferSizeList();
        return TRUE;
    }
    auto* self = reinterpret_cast<Prefs*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self) return FALSE;
    switch (message) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == static_cast<UINT_PTR>(kMidiListId) && header->code == LVN_ITEMCHANGED &&
            self->midiList_)
            self->midiList_->itemChanged();
        return FALSE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == kOkId) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        // Escape arrives as IDCANCEL and is left alone: there is nothing to cancel.
        if (HIWORD(wParam) != CBN_SELCHANGE) return FALSE;
        switch (id) {
        case kApiId: self->apiChanged(); break;
        case kDeviceId: self->deviceChanged(); break;
        case kStereoPairId: self->stereoPairChanged(); break;
        case kSampleRateId: self->sampleRateChanged(); break;
        case kBufferSizeId: self->bufferSizeChanged(); break;
        default: return FALSE;
        }
        return TRUE;
    }
    case WM_CLOSE:
        EndDialog(dialog, 1);
        return TRUE;
    default:
        return FALSE;
    }
}

bool Prefs::deviceRecords(std::vector<AudioDeviceRecord>& records, int32_t& current) const {
    records.clear();
    int32_t count = 0;
    if (call(VE_ENGINE_AUDIODEVICE_LIST, nullptr, &count) != kEngineOk) return false;
    if (count <= 0) return true;
    current = -1;
    call(VE_ENGINE_AUDIODEVICE_GET, &current);
    records.assign(static_cast<size_t>(count), AudioDeviceRecord{});
    int32_t written = 0;
    if (call(VE_ENGINE_AUDIODEVICE_LIST, records.data(), &written, count) != kEngineOk) return false;
    records.resize(static_cast<size_t>(std::clamp(written, 0, count)));
    return true;
}

void Prefs::fillMidiList() {
    midiList_ = new VTR::CheckedListView(dialog_, 76, 20, 100, 288, kMidiListId, u"Input MIDI Devices");
    midiList_->addListener(this);
    int32_t count = 0;
    if (call(VE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, kMidiInputs) != kEngineOk || count <= 0) return;
    std::vector<UsedMidiDevice> used;
    if (call(VE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, kMidiInputs) != kEngineOk) used.clear();
    std::vector<MidiDeviceRecord> records(static_cast<size_t>(count), MidiDeviceRecord{});
    int32_t written = 0;
    if (call(VE_ENGINE_MIDIDEVICE_LIST, records.data(), &written, count, kMidiInputs) != kEngineOk) return;
    records.resize(static_cast<size_t>(std::clamp(written, 0, count)));
    for (const MidiDeviceRecord& record : records) {
        if (!midiList_->addRow(narrowToWide(std::string(record.name, strnlen(record.name, sizeof record.name)))))
            continue;
        const bool inUse = std::any_of(used.begin(), used.end(),
                                       [&](const UsedMidiDevice& entry) { return entry.id == record.id; });
        if (inUse) midiList_->setChecked(midiList_->rowCount() - 1, true);
        midiInputIds_.push_back(record.id);
    }
}

void Prefs::fillApiList() {
    std::vector<AudioDeviceRecord> records;
    int32_t current = -1;
    if (!deviceRecords(records, current) || records.empty()) return;
    std::set<int32_t> codes;
    const AudioDeviceRecord* noted = nullptr;
    for (const AudioDeviceRecord& record : records) {
        codes.insert(record.api);
        if (!noted && record.id == current) noted = &record;
    }
    if (!noted) noted = &records.front(); // no current device: the first device's API
    HWND combo = control(kApiId);
    for (int32_t code : codes) {
        addString(combo, apiName(code));
        apiCodes_.push_back(code);
    }
    const auto found = std::find(apiCodes_.begin(), apiCodes_.end(), noted->api);
    SendMessageW(combo, CB_SETCURSEL, found == apiCodes_.end() ? 0 : found - apiCodes_.begin(), 0);
}

bool Prefs::fillDeviceList() {
    std::vector<AudioDeviceRecord> records;
    int32_t current = -1;
    if (!deviceRecords(records, current)) {
        // An emptied list would leave nothing to choose: the one shown stays, with its API.
        logError("Preferences: the audio device list could not be read, the list stays as it was");
        SendMessageW(control(kApiId), CB_SETCURSEL, static_cast<WPARAM>(shownApi_), 0);
        return false;
    }
    deviceIds_.clear();
    pairCounts_.clear();
    HWND combo = control(kDeviceId);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    const int api = selection(kApiId);
    shownApi_ = api;
    if (api < 0 || static_cast<size_t>(api) >= apiCodes_.size()) return true;
    for (const AudioDeviceRecord& record : records) {
        if (record.api != apiCodes_[static_cast<size_t>(api)]) continue;
        deviceIds_.push_back(record.id);
        pairCounts_.push_back(record.outputs / 2);
        addString(combo, narrowToWide(std::string(record.name, strnlen(record.name, sizeof record.name))));
    }
    if (deviceIds_.empty()) return true;
    const auto found = std::find(deviceIds_.begin(), deviceIds_.end(), current);
    SendMessageW(combo, CB_SETCURSEL, found == deviceIds_.end() ? 0 : found - deviceIds_.begin(), 0);
    return true;
}

void Prefs::fillStereoPairList(bool selectCurrent) {
    int32_t pair = 0;
    if (call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &pair) != kEngineOk) pair = 0;
    HWND combo = control(kStereoPairId);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    const int device = selection(kDeviceId);
    const int32_t pairs =
        device >= 0 && static_cast<size_t>(device) < pairCounts_.size() ? pairCounts_[static_cast<size_t>(device)] : 0;
    for (int32_t i = 0; i < pairs; ++i) addString(combo, decimal(2 * i + 1) + u"-" + decimal(2 * i + 2));
    if (pairs > 0) SendMessageW(combo, CB_SETCURSEL, selectCurrent && pair >= 0 && pair < pairs ? pair : 0, 0);
}

void Prefs::fillSampleRateList() {
    int32_t rates[kMaxSampleRates] = {};
    int32_t count = 0;
    if (call(VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, rates, &count, kMaxSampleRates) != kEngineOk || count <= 0)
        return;
    count = std::min(count, static_cast<int32_t>(kMaxSampleRates));
    int32_t rate = 0, size = 0;
    call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size);
    HWND combo = control(kSampleRateId);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    sampleRates_.assign(rates, rates + count);
    for (int32_t value : sampleRates_) addString(combo, decimal(value) + u" Hz");
    const auto found = std::find(sampleRates_.begin(), sampleRates_.end(), rate);
    SendMessageW(combo, CB_SETCURSEL, found == sampleRates_.end() ? 0 : found - sampleRates_.begin(), 0);
}

void Prefs::fillBufferSizeList() {
    int32_t count = 0;
    if (call(VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, nullptr, &count) != kEngineOk || count <= 0) return;
    int32_t rate = 0, size = 0;
    call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size);
    std::vector<int32_t> sizes(static_cast<size_t>(count), 0);
    int32_t written = 0;
    if (call(VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, sizes.data(), &written, count) != kEngineOk) return;
    sizes.resize(static_cast<size_t>(std::clamp(written, 0, count)));
    if (sizes.empty()) return;
    HWND combo = control(kBufferSizeId);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    bufferSizes_ = sizes;
    for (int32_t value : bufferSizes_) addString(combo, decimal(value));
    const auto found = std::find(bufferSizes_.begin(), bufferSizes_.end(), size);
    // A size the device does not offer: the middle entry (the lower of the two middles).
    const size_t index = found != bufferSizes_.end() ? static_cast<size_t>(found - bufferSizes_.begin())
                                                      : (bufferSizes_.size() - 1) / 2;
    SendMessageW(combo, CB_SETCURSEL, index, 0);
}

void Prefs::apiChanged() {
    if (fillDeviceList()) deviceChanged();
}

void Prefs::deviceChanged() {
    const int device = selection(kDeviceId);
    if (device < 0 || static_cast<size_t>(device) >= deviceIds_.size()) return;
    call(VE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, deviceIds_[static_cast<size_t>(device)]);
    // A new device starts on its first pair; the pair itself is not sent.
    fillStereoPairList(false);
    fillSampleRateList();
    fillBufferSizeList();
    // The new device gets the rate and size the lists now show.
    sampleRateChanged();
    bufferSizeChanged();
}

void Prefs::stereoPairChanged() {
    const int pair = selection(kStereoPairId);
    if (pair >= 0) call(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, pair);
}

void Prefs::sampleRateChanged() {
    const int index = selection(kSampleRateId);
    if (index < 0 || static_cast<size_t>(index) >= sampleRates_.size()) return;
    int32_t rate = 0, size = 0;
    call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size);
    call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, sampleRates_[static_cast<size_t>(index)], size);
}

void Prefs::bufferSizeChanged() {
    const int index = selection(kBufferSizeId);
    if (index < 0 || static_cast<size_t>(index) >= bufferSizes_.size()) return;
    int32_t rate = 0, size = 0;
    call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size);
    call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, rate, bufferSizes_[static_cast<size_t>(index)]);
}

void Prefs::itemChanged(int32_t listId, int32_t row, bool checked) {
    if (listId != kMidiListId || row < 0 || static_cast<size_t>(row) >= midiInputIds_.size()) return;
    const int32_t answer = call(VE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr,
                                midiInputIds_[static_cast<size_t>(row)], checked ? 1 : -1, 1);
    if (answer != kEngineMidiDeviceFailed) return;
    showOwnedBox(dialog_, kMidiUnavailableCaption, kMidiUnavailableText);
    // The input is not in use: a checked row would say otherwise. Recorded first, so no listener call.
    if (checked) midiList_->setChecked(row, false);
}

void showPreferences(void* parent, EngineOpcodeFunction opcode) {
    // Creating the object runs the modal dialog; deleting it restarts audio.
    Prefs* prefs = new Prefs(static_cast<HWND>(parent), opcode);
    delete prefs;
}

} // namespace vantor
