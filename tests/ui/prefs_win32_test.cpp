// The preferences dialog from the program's own template, driven through its controls under Wine
// (combo selections with CBN_SELCHANGE, check boxes through the list view) while its modal loop
// runs, with a recording stand-in for engineOpcode that plays a small host: every opcode of the
// fill and of each change, in order and with its arguments, and what the lists then show.
#include "support/BoxCapture.h"
#include "support/LogCapture.h"
#include "support/OpcodeRecorder.h"
#include "toolkit/Application.h"
#include "ui/Prefs.h"
#include "ui/Prefs_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <commctrl.h>
#include <windows.h>

using namespace vantor;
using test::OpcodeCall;

namespace {

AudioDeviceRecord audioDevice(int32_t id, int32_t api, const char* name, int32_t outputs) {
    AudioDeviceRecord record = {};
    record.id = id;
    record.api = api;
    std::strncpy(record.name, name, sizeof record.name - 1);
    record.outputs = outputs;
    return record;
}

MidiDeviceRecord midiDevice(int32_t id, const char* name) {
    MidiDeviceRecord record = {};
    record.id = id;
    std::strncpy(record.name, name, sizeof record.name - 1);
    return record;
}

// The host as the dialog sees it: devices, the current choices, and which MIDI inputs cannot be
// enabled. Settings and device choices sent to it take effect, as in the real host.
struct FakeHost {
    std::vector<AudioDeviceRecord> devices;
    int32_t current = -1;
    int32_t pair = 0;
    std::vector<int32_t> rates{44100, 48000};
    std::vector<int32_t> sizes{64, 128, 256, 512};
    int32_t rate = 48000, size = 256;
    std::vector<MidiDeviceRecord> midiInputs;
    std::vector<int32_t> used;
    std::set<int32_t> unavailable;
    bool playing = false;

    template <class T> static int32_t list(const std::vector<T>& all, void* p1, void* p2, int32_t capacity) {
        if (!p2) return kEngineFailed;
        auto* count = static_cast<int32_t*>(p2);
        if (!p1) {
            *count = static_cast<int32_t>(all.size());
            return kEngineOk;
        }
        const size_t n = std::min(all.size(), static_cast<size_t>(capacity));
        std::copy_n(all.begin(), n, static_cast<T*>(p1));
        *count = static_cast<int32_t>(n);
        return kEngineOk;
    }

    int32_t operator()(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t answer) {
        if (answer != kEngineOk) return answer;
        switch (opcode) {
        case VE_ENGINE_AUDIO_ISPLAYING: *static_cast<bool*>(p1) = playing; return kEngineOk;
        case VE_ENGINE_AUDIO_STOP: playing = false; return kEngineOk;
        case VE_ENGINE_AUDIO_START: playing = true; return kEngineOk;
        case VE_ENGINE_AUDIODEVICE_LIST: return list(devices, p1, p2, i1);
        case VE_ENGINE_AUDIODEVICE_GET: *static_cast<int32_t*>(p1) = current; return kEngineOk;
        case VE_ENGINE_AUDIODEVICE_SET: current = i1; return kEngineOk;
        case VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET: *static_cast<int32_t*>(p1) = pair; return kEngineOk;
        case VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET: pair = i1; return kEngineOk;
        case VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST: return list(rates, p1, p2, i1);
        case VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST: return list(sizes, p1, p2, i1);
        case VE_ENGINE_AUDIODEVICE_SETTINGS_GET:
            *static_cast<int32_t*>(p1) = rate;
            *static_cast<int32_t*>(p2) = size;
            return kEngineOk;
        case VE_ENGINE_AUDIODEVICE_SETTINGS:
            rate = i1;
            size = i2;
            return kEngineOk;
        case VE_ENGINE_MIDIDEVICE_LIST: return list(midiInputs, p1, p2, i1);
        case VE_ENGINE_MIDIDEVICE_GETUSED:
            for (int32_t id : used) static_cast<std::vector<UsedMidiDevice>*>(p1)->push_back({id, 1});
            return kEngineOk;
        case VE_ENGINE_MIDIDEVICE_ENABLE:
            return i2 != -1 && unavailable.count(i1) ? kEngineMidiDeviceFailed : kEngineOk;
        default: return kEngineNoResult;
        }
    }
};

// Runs `script` on the open dialog from inside its modal loop (a thread timer, dispatched by the
// loop), then closes it with WM_CLOSE unless the script did.
std::function<void(HWND)>* pendingScript = nullptr;
bool scriptRan = false;
int timerTicks = 0;

void CALLBACK driveDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowW(L"#32770", L"Preferences");
    // The modal loop shows the dialog once its queue is first idle: until then it is there but
    // hidden. Bounded: about 20 s of 50 ms ticks for it to appear.
    if (dialog && !IsWindowVisible(dialog)) dialog = nullptr;
    if (!dialog && ++timerTicks < 400) return;
    KillTimer(nullptr, timer);
    if (!dialog) return;
    scriptRan = true;
    if (pendingScript) (*pendingScript)(dialog);
    if (IsWindow(dialog) && IsWindowEnabled(dialog)) SendMessageW(dialog, WM_CLOSE, 0, 0);
}

std::vector<std::u16string> comboTexts(HWND dialog, int id) {
    HWND combo = GetDlgItem(dialog, id);
    std::vector<std::u16string> texts;
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        texts.emplace_back(text, text + wcslen(text));
    }
    return texts;
}

int comboSelection(HWND dialog, int id) {
    return static_cast<int>(SendMessageW(GetDlgItem(dialog, id), CB_GETCURSEL, 0, 0));
}

// What a user's choice in a drop-down list sends the dialog.
void choose(HWND dialog, int id, int index) {
    HWND combo = GetDlgItem(dialog, id);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// A click on a row's check box: the list view changes the state image and notifies the dialog.
void clickCheckBox(HWND dialog, int row, bool checked) {
    HWND list = GetDlgItem(dialog, Prefs::kMidiListId);
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// The rows of the MIDI list: text and whether its box shows checked.
std::vector<std::pair<std::u16string, bool>> midiRows(HWND dialog) {
    HWND list = GetDlgItem(dialog, Prefs::kMidiListId);
    std::vector<std::pair<std::u16string, bool>> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = 256;
        SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        const UINT state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK));
        rows.emplace_back(std::u16string(text, text + wcslen(text)), ((state & LVIS_STATEIMAGEMASK) >> 12) == 2);
    }
    return rows;
}

struct OwnedBoxRecord {
    HWND owner;
    std::string caption, text;
};

class PrefsTest : public ::testing::Test {
protected:
    void SetUp() override {
        VTR::setModuleInstance(GetModuleHandleW(nullptr));
        ASSERT_TRUE(application_.init());
        host_.devices = {audioDevice(1, kAudioApiMME, "Speakers (MME)", 2),
                         audioDevice(2, kAudioApiDirectSound, "Primary Sound Driver", 2),
                         audioDevice(3, kAudioApiDirectSound, "Speakers (DirectSound)", 6),
                         audioDevice(4, kAudioApiWASAPI, "Speakers (WASAPI)", 2)};
        host_.current = 3;
        host_.pair = 1;
        host_.midiInputs = {midiDevice(10, "Port A"), midiDevice(11, "Port B")};
        host_.used = {11};
        opcodes_.setOutputs([this](int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t,
                                   int32_t answer) { return host_(opcode, p1, p2, i1, i2, answer); });
        Prefs::setOwnedBox([this](HWND owner, const std::string& caption, const std::string& text) {
            ownedBoxes_.push_back({owner, caption, text});
        });
    }
    void TearDown() override {
        Prefs::setOwnedBox({});
        application_.exit();
    }

    // Opens the dialog, runs `script` on it, and returns once it is closed and the object deleted.
    void run(std::function<void(HWND)> script) {
        pendingScript = &script;
        scriptRan = false;
        timerTicks = 0;
        SetTimer(nullptr, 0, 50, &driveDialog);
        auto* prefs = new Prefs(nullptr, test::OpcodeRecorder::function());
        result_ = prefs->result();
        delete prefs;
        pendingScript = nullptr;
        EXPECT_TRUE(scriptRan) << "the dialog never appeared";
    }

    // The calls of one handler: from the first call after the fill.
    std::vector<OpcodeCall> callsSince(size_t mark) const {
        return {opcodes_.calls().begin() + static_cast<std::ptrdiff_t>(mark), opcodes_.calls().end()};
    }

    VTR::Application application_;
    test::OpcodeRecorder opcodes_;
    FakeHost host_;
    std::vector<OwnedBoxRecord> ownedBoxes_;
    INT_PTR result_ = 0;
};

// The opcodes of building the device list (also the API list's first three).
const std::vector<OpcodeCall> kDeviceListing = {
    {VE_ENGINE_AUDIODEVICE_LIST}, {VE_ENGINE_AUDIODEVICE_GET}, {VE_ENGINE_AUDIODEVICE_LIST, "", 4}};

// The opcodes of a device change to `device`: the device, its pair (asked, left at 1-2), its rates
// and sizes, then the rate applied with the size the device had and with the size selected.
std::vector<OpcodeCall> deviceChange(int device, int sizeBefore, int sizeSelected) {
    return {{VE_ENGINE_AUDIODEVICE_SET, "", device},
            {VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET},
            {VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, "", Prefs::kMaxSampleRates},
            {VE_ENGINE_AUDIODEVICE_SETTINGS_GET},
            {VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST},
            {VE_ENGINE_AUDIODEVICE_SETTINGS_GET},
            {VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, "", 4},
            {VE_ENGINE_AUDIODEVICE_SETTINGS_GET},
            {VE_ENGINE_AUDIODEVICE_SETTINGS, "", 48000, sizeBefore},
            {VE_ENGINE_AUDIODEVICE_SETTINGS_GET},
            {VE_ENGINE_AUDIODEVICE_SETTINGS, "", 48000, sizeSelected}};
}

std::vector<OpcodeCall> concat(std::initializer_list<std::vector<OpcodeCall>> parts) {
    std::vector<OpcodeCall> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(PrefsTest, FillsTheListsInOrderAndSelectsTheCurrentChoices) {
    host_.playing = true;
    std::vector<std::vector<std::u16string>> texts;
    std::vector<int> selections;
    std::vector<std::pair<std::u16string, bool>> rows;
    RECT listRect = {};
    run([&](HWND dialog) {
        for (int id : {1006, 1001, 1002, 1003, 1004}) {
            texts.push_back(comboTexts(dialog, id));
            selections.push_back(comboSelection(dialog, id));
        }
        rows = midiRows(dialog);
        GetWindowRect(GetDlgItem(dialog, Prefs::kMidiListId), &listRect);
        // Escape arrives as IDCANCEL: the dialog stays open.
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(IsWindowVisible(dialog)) << "Escape must not close the dialog";
    });
    EXPECT_EQ(opcodes_.calls(),
              concat({{{VE_ENGINE_AUDIO_ISPLAYING}, {VE_ENGINE_AUDIO_STOP}},
                      // MIDI list: count, inputs in use, records (inputs only)
                      {{VE_ENGINE_MIDIDEVICE_LIST, "", 0, kMidiInputs},
                       {VE_ENGINE_MIDIDEVICE_GETUSED, "", kMidiInputs},
                       {VE_ENGINE_MIDIDEVICE_LIST, "", 2, kMidiInputs}},
                      kDeviceListing, // API list
                      kDeviceListing, // device list
                      {{VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET},
                       {VE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, "", Prefs::kMaxSampleRates},
                       {VE_ENGINE_AUDIODEVICE_SETTINGS_GET},
                       {VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST},
                       {VE_ENGINE_AUDIODEVICE_SETTINGS_GET},
                       {VE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, "", 4}},
                      // closed: audio played when the dialog opened
                      {{VE_ENGINE_AUDIO_START}}}));
    EXPECT_EQ(texts, (std::vector<std::vector<std::u16string>>{
                         {u"MME", u"DirectSound", u"WASAPI"},
                         {u"Primary Sound Driver", u"Speakers (DirectSound)"},
                         {u"1-2", u"3-4", u"5-6"},
                         {u"44100 Hz", u"48000 Hz"},
                         {u"64", u"128", u"256", u"512"}}));
    EXPECT_EQ(selections, (std::vector<int>{1, 1, 1, 1, 2}));
    EXPECT_EQ(rows, (std::vector<std::pair<std::u16string, bool>>{{u"Port A", false}, {u"Port B", true}}));
    EXPECT_EQ(result_, 1);
    EXPECT_TRUE(host_.playing);
    const double scale = VTR::displayScale();
    EXPECT_EQ(listRect.right - listRect.left, static_cast<int>(288 * scale));
    EXPECT_EQ(listRect.bottom - listRect.top, static_cast<int>(100 * scale));
}

// A device change resets the pair to 1-2 without sending it, then gives the new device the rate
// and size the lists show; a size the device does not offer selects the middle entry.
TEST_F(PrefsTest, DeviceChangeSendsTheShownRateAndSize) {
    host_.size = 300;
    size_t mark = 0;
    std::vector<int> selections;
    run([&](HWND dialog) {
        EXPECT_EQ(comboSelection(dialog, 1004), 1) << "300 is not offered: entry (4-1)/2";
        mark = opcodes_.calls().size();
        choose(dialog, 1001, 0);
        for (int id : {1001, 1002, 1003, 1004}) selections.push_back(comboSelection(dialog, id));
    });
    EXPECT_EQ(callsSince(mark), deviceChange(2, 300, 128));
    EXPECT_EQ(selections, (std::vector<int>{0, 0, 1, 1}));
    EXPECT_EQ(host_.pair, 1) << "the pair is not sent on a device change";
    EXPECT_EQ(host_.size, 128);
}

// Each handler sends what its list shows, in this order.
TEST_F(PrefsTest, SelectionHandlersSendTheirOpcodes) {
    struct Case {
        const char* name;
        int control, index;
        std::vector<OpcodeCall> expected;
    };
    const std::vector<Case> cases = {
        {"stereo pair 5-6", 1002, 2, {{VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, "", 2}}},
        {"44100 Hz", 1003, 0,
         {{VE_ENGINE_AUDIODEVICE_SETTINGS_GET}, {VE_ENGINE_AUDIODEVICE_SETTINGS, "", 44100, 256}}},
        {"64 frames", 1004, 0, {{VE_ENGINE_AUDIODEVICE_SETTINGS_GET}, {VE_ENGINE_AUDIODEVICE_SETTINGS, "", 48000, 64}}},
        {"API MME: its device list, then its only device", 1006, 0,
         concat({kDeviceListing,
                 deviceChange(1, 256, 256)})},
    };
    const FakeHost initial = host_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host_ = initial;
        std::vector<OpcodeCall> sent;
        run([&](HWND dialog) {
            const size_t before = opcodes_.calls().size();
            choose(dialog, c.control, c.index);
            sent.assign(opcodes_.calls().begin() + static_cast<std::ptrdiff_t>(before), opcodes_.calls().end());
        });
        EXPECT_EQ(sent, c.expected);
    }
}

// The stereo pairs offered for a device's output channels; the API preselected without a current
// device.
TEST_F(PrefsTest, ListsFollowTheDeviceRecords) {
    struct Case {
        int32_t outputs;
        std::vector<std::u16string> pairs;
    };
    for (const Case& c : std::vector<Case>{{2, {u"1-2"}}, {3, {u"1-2"}}, {0, {}}, {5, {u"1-2", u"3-4"}}}) {
        SCOPED_TRACE(c.outputs);
        host_.devices = {audioDevice(7, kAudioApiWASAPI, "Out", c.outputs)};
        host_.current = 7;
        host_.pair = 0;
        std::vector<std::u16string> pairs;
        run([&](HWND dialog) { pairs = comboTexts(dialog, 1002); });
        EXPECT_EQ(pairs, c.pairs);
    }

    // No current device: the first listed device's API (WASAPI here, not the lowest code).
    host_.devices = {audioDevice(4, kAudioApiWASAPI, "W", 2), audioDevice(1, kAudioApiMME, "M", 2)};
    host_.current = -1;
    int api = -1;
    std::vector<std::u16string> devices;
    run([&](HWND dialog) {
        api = comboSelection(dialog, 1006);
        devices = comboTexts(dialog, 1001);
    });
    EXPECT_EQ(api, 1);
    EXPECT_EQ(devices, (std::vector<std::u16string>{u"W"}));

    // A host without audio devices or MIDI inputs: empty lists, the dialog still opens and closes.
    host_.devices.clear();
    host_.midiInputs.clear();
    opcodes_.clear();
    run([&](HWND dialog) { EXPECT_TRUE(comboTexts(dialog, 1006).empty()); });
    EXPECT_EQ(result_, 1);
}

// Another API's devices that cannot be listed: the list shown and its API stay, no device is
// chosen, and the log says so.
TEST_F(PrefsTest, AFailedDeviceListQueryKeepsTheShownList) {
    test::LogCapture log;
    std::vector<std::u16string> devices;
    int api = -1;
    run([&](HWND dialog) {
        opcodes_.answer(VE_ENGINE_AUDIODEVICE_LIST, kEngineFailed);
        choose(dialog, Prefs::kApiId, 0);
        devices = comboTexts(dialog, Prefs::kDeviceId);
        api = comboSelection(dialog, Prefs::kApiId);
    });
    EXPECT_EQ(devices, (std::vector<std::u16string>{u"Primary Sound Driver", u"Speakers (DirectSound)"}));
    EXPECT_EQ(api, 1);
    EXPECT_EQ(host_.current, 3);
    EXPECT_EQ(log.count("Preferences: the audio device list could not be read, the list stays as it was"),
              1u);
}

// A MIDI input that cannot be enabled: the box each time it is checked, and the row unchecked
// again; unchecking it sends -1 and shows nothing. Programmatic changes reach no one.
TEST_F(PrefsTest, UnavailableMidiInputShowsTheBoxAndStaysUnchecked) {
    host_.used = {10};
    host_.unavailable = {10};
    std::vector<std::vector<std::pair<std::u16string, bool>>> afterEach;
    HWND shown = nullptr;
    size_t mark = 0;
    run([&](HWND dialog) {
        shown = dialog;
        mark = opcodes_.calls().size();
        clickCheckBox(dialog, 0, false);
        afterEach.push_back(midiRows(dialog));
        clickCheckBox(dialog, 0, true);
        afterEach.push_back(midiRows(dialog));
        clickCheckBox(dialog, 0, true);
        afterEach.push_back(midiRows(dialog));
        clickCheckBox(dialog, 1, true); // an available one
        afterEach.push_back(midiRows(dialog));
    });
    EXPECT_EQ(callsSince(mark), (std::vector<OpcodeCall>{{VE_ENGINE_MIDIDEVICE_ENABLE, "", 10, -1, 0.0f, 1},
                                              {VE_ENGINE_MIDIDEVICE_ENABLE, "", 10, 1, 0.0f, 1},
                                              {VE_ENGINE_MIDIDEVICE_ENABLE, "", 10, 1, 0.0f, 1},
                                              {VE_ENGINE_MIDIDEVICE_ENABLE, "", 11, 1, 0.0f, 1}}));
    ASSERT_EQ(ownedBoxes_.size(), 2u);
    for (const auto& box : ownedBoxes_) {
        EXPECT_EQ(box.owner, shown);
        EXPECT_EQ(box.caption, "Brevian Standalone");
        EXPECT_EQ(box.text, "This MIDI device is currently unavailable");
    }
    using Rows = std::vector<std::pair<std::u16string, bool>>;
    EXPECT_EQ(afterEach, (std::vector<Rows>{{{u"Port A", false}, {u"Port B", false}},
                                            {{u"Port A", false}, {u"Port B", false}},
                                            {{u"Port A", false}, {u"Port B", false}},
                                            {{u"Port A", false}, {u"Port B", true}}}));
}

// Audio stopped while open, started again on close; a failed restart shows the start-up's box.
// OK and WM_CLOSE both end the dialog with 1.
TEST_F(PrefsTest, AudioIsStoppedWhileOpenAndRestartedOnClose) {
    struct Case {
        bool playing;
        int32_t startAnswer;
        bool useOk;
        std::vector<OpcodeCall> audio;
        size_t boxes;
    };
    const std::vector<Case> cases = {
        {true, kEngineOk, true, {{VE_ENGINE_AUDIO_ISPLAYING}, {VE_ENGINE_AUDIO_STOP}, {VE_ENGINE_AUDIO_START}}, 0},
        {true, kEngineAudioRefused, false,
         {{VE_ENGINE_AUDIO_ISPLAYING}, {VE_ENGINE_AUDIO_STOP}, {VE_ENGINE_AUDIO_START}}, 1},
        {false, kEngineOk, false, {{VE_ENGINE_AUDIO_ISPLAYING}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.playing << " " << c.startAnswer);
        test::BoxCapture boxes;
        opcodes_.clear();
        host_.playing = c.playing;
        opcodes_.answer(VE_ENGINE_AUDIO_START, c.startAnswer);
        bool playingWhileOpen = true;
        run([&](HWND dialog) {
            playingWhileOpen = host_.playing;
            if (c.useOk)
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(Prefs::kOkId, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, Prefs::kOkId)));
        });
        EXPECT_FALSE(playingWhileOpen);
        EXPECT_EQ(result_, 1);
        std::vector<OpcodeCall> audio;
        for (const OpcodeCall& call : opcodes_.calls())
            if (call.opcode >= VE_ENGINE_AUDIO_START && call.opcode <= VE_ENGINE_AUDIO_ISPLAYING) audio.push_back(call);
        EXPECT_EQ(audio, c.audio);
        ASSERT_EQ(boxes.boxes().size(), c.boxes);
        if (c.boxes) {
            EXPECT_EQ(boxes.boxes()[0], std::make_pair(std::string("init: Audio Engine Start Error"),
                                                       std::string("Check Preferences. Maybe the current driver "
                                                                   "doesn't support this sample rate")));
        }
    }
}

} // namespace

#include "app/Registry.h"
#include "app/SamplerApplication.h"
#include "bridge/EngineManager.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "support/EngineTestHome.h"
#include "support/VirtualMidiScope.h"
#include "support/pa_double/PaDouble.h"

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Sits in the instrument slot where the engine would and counts the note-ons of its blocks per
// note number (written on the audio thread, read by the test). The counts outlive the module,
// which the graph deletes at shutdown.
struct NotesSeen {
    std::array<std::atomic<uint32_t>, 128> noteOns{};
};

class NoteCountingInstrument : public Module {
public:
    explicit NoteCountingInstrument(NotesSeen& seen) : Module(0, 2), seen_(seen) {}
    void processBlock(MidiEventArray& events, float**, float**, uint32_t, bool) override {
        for (const MidiEvent& e : events)
            if ((e.status & 0xF0) == 0x90 && e.data2 > 0)
                seen_.noteOns[e.data1 & 0x7F].fetch_add(1, std::memory_order_relaxed);
    }

private:
    NotesSeen& seen_;
};

// Installs an in-memory registry for the scope, so the settings saved at exit can be read back.
struct RegistryScope {
    MemoryRegistryStore store;
    RegistryScope() { setRegistryStore(&store); }
    ~RegistryScope() { setRegistryStore(nullptr); }
};

// The real host core behind the dialog, with the audio library's test double as the sound card and
// virtual MIDI inputs: audio stopped while open and running again after; checking a row enables
// that input in the host (remembered, so the settings store saves it by name), unchecking removes
// it; an input that cannot be opened gives the box and ends unchecked. Notes played into the
// checked input then reach the instrument's blocks, and the application's exit saves the choice.
TEST(PrefsWithHost, VirtualMidiInputsAreEnabledAndDisabled) {
    VTR::setModuleInstance(GetModuleHandleW(nullptr));
    RegistryScope registry;
    // Only the toolkit's part of start-up: the test brings the host up itself with its own
    // devices and an empty instrument slot, and leaves through the application's exit.
    samplerapp::SamplerApplication application;
    ASSERT_TRUE(application.VTR::Application::init());
    test::VirtualMidiScope midi;
    const int keysA = midi.api().addInput("Keys A");
    const int keysB = midi.api().addInput("Keys B");
    const int broken = midi.api().addInput("Broken");
    midi.api().setOpenResult(broken, 4); // MMSYSERR_ALLOCATED: in use elsewhere
    // A sound card of the audio library's test double, calling back from its own thread.
    namespace pa = quorvel::test::pa;
    pa::reset();
    pa::DeviceSpec card;
    card.name = "Speakers";
    card.hostApi = pa::addHostApi(paMME, "MME");
    pa::addDevice(card);
    pa::setCallbacks(pa::Callbacks::Running);
    test::EngineTestHome home;
    test::BoxCapture boxes;
    AppArgumentList arguments{"Quorvel"};
    ASSERT_EQ(engineOpcode(VE_ENGINE_APP_ARGUMENTS_SET, &arguments, nullptr, 0, 0, 0, 0.0f), kEngineOk);
    ASSERT_EQ(engineOpcode(VE_ENGINE_INITIALIZE, nullptr, nullptr, 0, 0, 0, 0.0f), kEngineOk);
    NotesSeen seen;
    {
        Instance* context = EngineManager::peek() ? EngineManager::peek()->context() : nullptr;
        ASSERT_TRUE(context && GraphManager::peek());
        auto* instrument = new NoteCountingInstrument(seen);
        instrument->init(context, context->getDSPInfo());
        ASSERT_TRUE(GraphManager::peek()->addInstrument(0, instrument));
    }
    application.restoreAudioDevice(); // the only card, at the default rate and size
    int32_t current = -1;
    ASSERT_EQ(engineOpcode(VE_ENGINE_AUDIODEVICE_GET, &current, nullptr, 0, 0, 0, 0.0f), kEngineOk);
    ASSERT_GE(current, 0);
    ASSERT_EQ(engineOpcode(VE_ENGINE_AUDIO_START, nullptr, nullptr, 0, 0, 0, 0.0f), kEngineOk);
    auto playing = [] {
        bool on = false;
        engineOpcode(VE_ENGINE_AUDIO_ISPLAYING, &on, nullptr, 0, 0, 0, 0.0f);
        return on;
    };

    auto used = [] {
        std::vector<UsedMidiDevice> entries;
        engineOpcode(VE_ENGINE_MIDIDEVICE_GETUSED, &entries, nullptr, kMidiInputs, 0, 0, 0.0f);
        std::vector<std::pair<int32_t, int32_t>> out;
        for (const auto& entry : entries) out.emplace_back(entry.id, entry.value);
        return out;
    };
    int32_t count = 0;
    ASSERT_EQ(engineOpcode(VE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, kMidiInputs, 0, 0.0f), kEngineOk);
    ASSERT_EQ(count, 3);
    MidiDeviceRecord ports[3] = {};
    ASSERT_EQ(engineOpcode(VE_ENGINE_MIDIDEVICE_LIST, ports, &count, 3, kMidiInputs, 0, 0.0f), kEngineOk);
    std::vector<std::pair<std::u16string, bool>> brokenRows;
    std::vector<bool> open;
    std::vector<OwnedBoxRecord> owned;
    Prefs::setOwnedBox([&](HWND owner, const std::string& caption, const std::string& text) {
        owned.push_back({owner, caption, text});
    });

    std::vector<std::pair<std::u16string, bool>> listed;
    std::vector<std::pair<int32_t, int32_t>> afterCheck, afterUncheck;
    pendingScript = nullptr;
    bool playingWhileOpen = true;
    std::vector<std::u16string> apis;
    std::function<void(HWND)> script = [&](HWND dialog) {
        playingWhileOpen = playing();
        apis = comboTexts(dialog, Prefs::kApiId);
        listed = midiRows(dialog);
        clickCheckBox(dialog, 1, true);
        afterCheck = used();
        open.push_back(midi.api().isOpen(keysB));
        clickCheckBox(dialog, 1, false);
        clickCheckBox(dialog, 0, true);
        afterUncheck = used();
        open.push_back(midi.api().isOpen(keysB));
        open.push_back(midi.api().isOpen(keysA));
        clickCheckBox(dialog, 2, true); // cannot be opened
        brokenRows = midiRows(dialog);
    };
    pendingScript = &script;
    scriptRan = false;
    timerTicks = 0;
    SetTimer(nullptr, 0, 50, &driveDialog);
    showPreferences(nullptr, nullptr);
    pendingScript = nullptr;
    EXPECT_TRUE(scriptRan);

    Prefs::setOwnedBox({});
    EXPECT_FALSE(playingWhileOpen);
    EXPECT_TRUE(playing()) << "audio starts again when the dialog closes";
    EXPECT_TRUE(midi.api().isStarted(keysA)) << "the input enabled in the dialog runs with audio";
    EXPECT_EQ(apis, (std::vector<std::u16string>{u"MME"}));
    EXPECT_EQ(listed.size(), 3u);
    for (const auto& row : listed) EXPECT_FALSE(row.second);
    EXPECT_EQ(afterCheck, (std::vector<std::pair<int32_t, int32_t>>{{ports[1].id, 1}}));
    EXPECT_EQ(afterUncheck, (std::vector<std::pair<int32_t, int32_t>>{{ports[0].id, 1}}));
    EXPECT_EQ(open, (std::vector<bool>{true, false, true}));
    ASSERT_EQ(owned.size(), 1u);
    EXPECT_EQ(owned[0].text, "This MIDI device is currently unavailable");
    ASSERT_EQ(brokenRows.size(), 3u);
    EXPECT_FALSE(brokenRows[2].second) << "an input that could not be enabled is not shown as in use";
    EXPECT_TRUE(boxes.boxes().empty());

    // Played into each input: only the one checked in the dialog is open and reaches the engine.
    const uint32_t noteOn = 0x7F0090;
    const std::vector<std::tuple<int, uint32_t, bool>> played = {
        {keysA, 60, true}, {keysB, 62, false}, {broken, 64, false}};
    for (const auto& [port, note, enabled] : played)
        EXPECT_EQ(midi.api().sendShort(port, noteOn | note << 8), enabled) << note;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (seen.noteOns[60].load() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (const auto& [port, note, enabled] : played)
        EXPECT_EQ(seen.noteOns[note].load(), enabled ? 1u : 0u) << note;

    // Leaving through the application saves the inputs in use by their listed name, and only those.
    EXPECT_TRUE(application.exit());
    pa::reset();
    const std::u16string& key = application.settingsKeyPath();
    uint32_t remembered = 0;
    EXPECT_TRUE(registryReadDword(kHiveCurrentUser, key, u"nbmididevice", remembered));
    EXPECT_EQ(remembered, 1u);
    std::u16string first, second;
    EXPECT_TRUE(registryReadString(kHiveCurrentUser, key, samplerapp::midiInputValueName(0), first));
    ASSERT_FALSE(listed.empty());
    EXPECT_TRUE(first == listed[0].first) << "saved under the name the dialog showed";
    EXPECT_FALSE(registryReadString(kHiveCurrentUser, key, samplerapp::midiInputValueName(1), second));
}

} // namespace
