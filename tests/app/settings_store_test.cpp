// The settings store of the application object: restore at start-up and save at exit, driven
// through a scripted opcode function over the in-memory registry.
#include "app/Registry.h"
#include "app/SamplerApplication.h"
#include "app/UserMessage.h"
#include "graph/GraphManager.h"
#include "support/BoxCapture.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace vantor;
using vantor::samplerapp::SamplerApplication;

namespace {

const std::u16string kKey = u"Software\\Vantor\\QuorvelSA";

struct Call {
    int32_t opcode, i1, i2, i3;
};

// What the scripted engine has and answers.
struct FakeEngine {
    std::vector<std::pair<int32_t, std::string>> audio; // (api, name); ids are 10, 11, ...
    std::vector<std::string> midi;                      // ids are 1, 2, ...
    std::vector<std::string> midiAtExit;                // the table fetched at exit, when set
    bool exiting = false;
    bool failAudioFill = false, failMidiFill = false, failSettings = false;
    int32_t currentAudio = -1, rate = 44100, size = 256, pair = 1;
    std::vector<UsedMidiDevice> used;
    std::vector<Call> calls;

    std::vector<Call> callsOf(int32_t opcode) const {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.opcode == opcode) out.push_back(c);
        return out;
    }
};

FakeEngine* fake = nullptr;

int32_t fakeOpcode(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3, float) {
    FakeEngine& f = *fake;
    f.calls.push_back({opcode, i1, i2, i3});
    switch (opcode) {
    case VE_ENGINE_AUDIODEVICE_LIST: {
        if (!p1) {
            *static_cast<int32_t*>(p2) = static_cast<int32_t>(f.audio.size());
            return kEngineOk;
        }
        if (f.failAudioFill) return kEngineFailed;
        auto* out = static_cast<AudioDeviceRecord*>(p1);
        int32_t n = std::min<int32_t>(i1, static_cast<int32_t>(f.audio.size()));
        for (int32_t i = 0; i < n; ++i) {
            out[i].id = 10 + i;
            out[i].api = f.audio[i].first;
            std::strncpy(out[i].name, f.audio[i].second.c_str(), sizeof(out[i].name));
        }
        *static_cast<int32_t*>(p2) = n;
        return kEngineOk;
    }
    case VE_ENGINE_MIDIDEVICE_LIST: {
        const std::vector<std::string>& table = f.exiting && !f.midiAtExit.empty() ? f.midiAtExit : f.midi;
        if (!p1) {
            *static_cast<int32_t*>(p2) = static_cast<int32_t>(table.size());
            return kEngineOk;
        }
        if (f.failMidiFill) return kEngineFailed;
        auto* out = static_cast<MidiDeviceRecord*>(p1);
        int32_t n = std::min<int32_t>(i1, static_cast<int32_t>(table.size()));
        for (int32_t i = 0; i < n; ++i) {
            out[i].id = 1 + i;
            std::strncpy(out[i].name, table[i].c_str(), sizeof(out[i].name));
        }
        *static_cast<int32_t*>(p2) = n;
        return kEngineOk;
    }
    case VE_ENGINE_AUDIODEVICE_SETTINGS:
        return f.failSettings ? kEngineFailed : kEngineOk;
    case VE_ENGINE_AUDIODEVICE_GET:
        *static_cast<int32_t*>(p1) = f.currentAudio;
        return kEngineOk;
    case VE_ENGINE_AUDIODEVICE_SETTINGS_GET:
        *static_cast<int32_t*>(p1) = f.rate;
        *static_cast<int32_t*>(p2) = f.size;
        return kEngineOk;
    case VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET:
        *static_cast<int32_t*>(p1) = f.pair;
        return kEngineOk;
    case VE_ENGINE_MIDIDEVICE_GETUSED:
        *static_cast<std::vector<UsedMidiDevice>*>(p1) = f.used;
        return kEngineOk;
    default:
        return kEngineOk;
    }
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = &engine_;
        setRegistryStore(&registry_);
    }
    void TearDown() override {
        setRegistryStore(nullptr);
        fake = nullptr;
    }

    void restore(SamplerApplication& app) {
        app.restoreAudioDevice();
        app.restoreMidiInputs();
    }
    void save(SamplerApplication& app) {
        engine_.exiting = true;
        app.saveSettings();
    }
    uint32_t dword(const char16_t* name) {
        uint32_t value = 0xDEADBEEF;
        EXPECT_TRUE(registry_.readDword(kHiveCurrentUser, kKey, name, value)) << "missing dword";
        return value;
    }
    bool hasString(const std::u16string& name) {
        std::u16string value;
        return registry_.readString(kHiveCurrentUser, kKey, name, value);
    }
    std::u16string string(const std::u16string& name) {
        std::u16string value;
        EXPECT_TRUE(registry_.readString(kHiveCurrentUser, kKey, name, value)) << "missing string";
        return value;
    }
    // The MIDI enables as (id, remember).
    std::vector<std::pair<int32_t, int32_t>> enables() {
        std::vector<std::pair<int32_t, int32_t>> out;
        for (const Call& c : engine_.callsOf(VE_ENGINE_MIDIDEVICE_ENABLE)) {
            EXPECT_EQ(c.i2, 1) << "enable, not remove";
            out.emplace_back(c.i1, c.i3);
        }
        return out;
    }

    test::LogCapture log_;
    FakeEngine engine_;
    MemoryRegistryStore registry_;
    test::BoxCapture capture_;
};

using Enables = std::vector<std::pair<int32_t, int32_t>>;

} // namespace

TEST(SettingsValueNames, IndicesBelowTenArePaddedToTwoDigits) {
    EXPECT_EQ(samplerapp::midiInputValueName(0), u"mididevice00");
    EXPECT_EQ(samplerapp::midiInputValueName(9), u"mididevice09");
    EXPECT_EQ(samplerapp::midiInputValueName(10), u"mididevice10");
    EXPECT_EQ(samplerapp::midiInputValueName(123), u"mididevice123");
}

TEST_F(SettingsStoreTest, EmptyRegistrySelectsTheFirstDeviceWithDefaultsAndMatchingInputs) {
    engine_.audio = {{kAudioApiWASAPI, "Speakers"}, {kAudioApiMME, "Headphones"}};
    engine_.midi = {"USB Keys", "Vantor-Quorvel_In", "Quorvel Port 2", "quorvel lower", "Quor_vel"};
    SamplerApplication app(&fakeOpcode);
    restore(app);

    auto set = engine_.callsOf(VE_ENGINE_AUDIODEVICE_SET);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].i1, 10);
    auto settings = engine_.callsOf(VE_ENGINE_AUDIODEVICE_SETTINGS);
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_EQ(settings[0].i1, 48000);
    EXPECT_EQ(settings[0].i2, 512);
    auto pair = engine_.callsOf(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET);
    ASSERT_EQ(pair.size(), 1u);
    EXPECT_EQ(pair[0].i1, 0);

    // Case-sensitive, with "-" and "_" read as spaces; "Quor_vel" becomes "Quor vel" and misses.
    EXPECT_EQ(enables(), (Enables{{2, 1}, {3, 1}}));
    EXPECT_TRUE(log_.has('I', "found a driver whose name matches the Brevian product: Vantor-Quorvel_In"));
    EXPECT_TRUE(log_.has('I', "found a driver whose name matches the Brevian product: Quorvel Port 2"));
    EXPECT_FALSE(hasString(u"listingaudiodevices"));
    EXPECT_FALSE(hasString(u"listingmididevices"));
    EXPECT_TRUE(capture_.boxes().empty());
    EXPECT_EQ(app.audioDeviceCount(), 2u);
    EXPECT_EQ(app.midiInputCount(), 5u);
}

TEST_F(SettingsStoreTest, WithoutAMatchingInputTheFirstIsEnabledUnremembered) {
    engine_.audio = {{kAudioApiMME, "Speakers"}};
    engine_.midi = {"USB Keys", "Other"};
    SamplerApplication app(&fakeOpcode);
    restore(app);
    EXPECT_EQ(enables(), (Enables{{1, 0}}));
    EXPECT_TRUE(log_.has('I', "did not find a driver whose name matches the Brevian product: Quorvel "
                              "reverting to first available"));
}

TEST_F(SettingsStoreTest, NoDevicesMeansNoSelectionButTheGuardsAreCleared) {
    SamplerApplication app(&fakeOpcode);
    restore(app);
    EXPECT_TRUE(engine_.callsOf(VE_ENGINE_AUDIODEVICE_SET).empty());
    EXPECT_TRUE(engine_.callsOf(VE_ENGINE_MIDIDEVICE_ENABLE).empty());
    EXPECT_FALSE(hasString(u"listingaudiodevices"));
    EXPECT_FALSE(hasString(u"listingmididevices"));
}

TEST_F(SettingsStoreTest, AGuardLeftByACrashedRunWarnsOnceAndIsClearedAtTheEnd) {
    engine_.audio = {{kAudioApiMME, "Speakers"}};
    engine_.midi = {"Keys"};
    registry_.writeString(kHiveCurrentUser, kKey, u"listingaudiodevices", u"listing");
    registry_.writeString(kHiveCurrentUser, kKey, u"listingmididevices", u"listing");
    {
        SamplerApplication app(&fakeOpcode);
        restore(app);
    }
    ASSERT_EQ(capture_.boxes().size(), 2u);
    EXPECT_EQ(capture_.boxes()[0].first, "Quorvel");
    EXPECT_EQ(capture_.boxes()[0].second, "Last audio devices listing failed or is not finished yet.\n"
                                          "Please update your drivers or try removing some audio devices.");
    EXPECT_EQ(capture_.boxes()[1].second, "Last MIDI devices listing failed or is not finished yet.\n"
                                          "Please update your drivers or try removing some MIDI devices.");
    EXPECT_TRUE(log_.has('W', "Last audio devices listing failed or is not finished yet!"));
    EXPECT_TRUE(log_.has('W', "Last MIDI devices listing failed or is not finished yet!"));
    // Enumeration went ahead anyway.
    EXPECT_EQ(engine_.callsOf(VE_ENGINE_AUDIODEVICE_SET).size(), 1u);
    EXPECT_FALSE(hasString(u"listingaudiodevices"));
    EXPECT_FALSE(hasString(u"listingmididevices"));

    capture_.clear();
    SamplerApplication again(&fakeOpcode);
    restore(again);
    EXPECT_TRUE(capture_.boxes().empty()) << "a clean start-up leaves no guard behind";
}

TEST_F(SettingsStoreTest, AGuardIsInTheRegistryWhileTheEnumerationRuns) {
    // The scripted engine looks at the registry from inside the listing call.
    static MemoryRegistryStore* seen = nullptr;
    static bool audioGuard = false, midiGuard = false;
    seen = &registry_;
    auto probe = [](int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3, float f) {
        std::u16string value;
        if (opcode == VE_ENGINE_AUDIODEVICE_LIST)
            audioGuard = seen->readString(kHiveCurrentUser, kKey, u"listingaudiodevices", value) &&
                         value == u"listing";
        if (opcode == VE_ENGINE_MIDIDEVICE_LIST)
            midiGuard = seen->readString(kHiveCurrentUser, kKey, u"listingmididevices", value);
        return fakeOpcode(opcode, p1, p2, i1, i2, i3, f);
    };
    engine_.audio = {{kAudioApiMME, "Speakers"}};
    engine_.midi = {"Keys"};
    SamplerApplication app(+probe);
    restore(app);
    EXPECT_TRUE(audioGuard);
    EXPECT_TRUE(midiGuard);
}

TEST_F(SettingsStoreTest, AStoredAudioDeviceIsFoundByApiAndExactName) {
    engine_.audio = {{kAudioApiMME, "Speakers"},
                     {kAudioApiWASAPI, "Speakers"},
                     {kAudioApiWASAPI, "Lautsprecher \xc3\xa4"}};
    registry_.writeDword(kHiveCurrentUser, kKey, u"audiodeviceapi", kAudioApiWASAPI);
    registry_.writeString(kHiveCurrentUser, kKey, u"audiodevice", u"Lautsprecher \u00e4");
    registry_.writeDword(kHiveCurrentUser, kKey, u"samplerate", 96000);
    registry_.writeDword(kHiveCurrentUser, kKey, u"buffersize", 128);
    registry_.writeDword(kHiveCurrentUser, kKey, u"audiodevicestereopair", 2);
    SamplerApplication app(&fakeOpcode);
    app.restoreAudioDevice();
    EXPECT_EQ(engine_.callsOf(VE_ENGINE_AUDIODEVICE_SET)[0].i1, 12);
    EXPECT_EQ(engine_.callsOf(VE_ENGINE_AUDIODEVICE_SETTINGS)[0].i1, 96000);
    EXPECT_EQ(engine_.callsOf(VE_ENGINE_AUDIODEVICE_SETTINGS)[0].i2, 128);
    EXPECT_EQ(engine_.callsOf(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET)[0].i1, 2);

    // Same name under another API, or another case: gone, the first device is used.
    engine_.calls.clear();
    registry_.writeDword(kHiveCurrentUser, kKey, u"audiodeviceapi", kAudioApiASIO);
    registry_.writeString(kHiveCurrentUser, kKey, u"audiodevice", u"Speakers");
    app.restoreAudioDevice();
    EXPECT_EQ(engine_.callsOf(VE_ENGINE_AUDIODEVICE_SET)[0].i1, 10);
    EXPECT_TRUE(log_.has('E', "Device :Speakers is gone from this system, using default"));
}

TEST_F(SettingsStoreTest, FailedSettingsSkipTheStereoPairAndFailedFillsAreLogged) {
    engine_.audio = {{kAudioApiMME, "Speakers"}};
    engine_.failSettings = true;
    SamplerApplication app(&fakeOpcode);
    app.restoreAudioDevice();
    EXPECT_TRUE(log_.has('E', "cannot set this device to those settings"));
    EXPECT_TRUE(engine_.callsOf(VE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET).empty());

    engine_.calls.clear();
    engine_.failAudioFill = true;
    engine_.failMidiFill = true;
    engine_.midi = {"Keys"};
    restore(app);
    EXPECT_TRUE(log_.has('E', "cannot list audio devices!"));
    EXPECT_TRUE(log_.has('E', "cannot list MIDI devices!"));
    EXPECT_TRUE(engine_.callsOf(VE_ENGINE_AUDIODEVICE_SET).empty());
    EXPECT_TRUE(engine_.callsOf(VE_ENGINE_MIDIDEVICE_ENABLE).empty());
    EXPECT_FALSE(hasString(u"listingaudiodevices"));
    EXPECT_FALSE(hasString(u"listingmididevices"));
}

TEST_F(SettingsStoreTest, ElevenRememberedInputsRoundTripUnderTwoDigitNames) {
    engine_.audio = {{kAudioApiWASAPI, "Speakers"}, {kAudioApiMME, "Phones"}};
    for (int i = 0; i < 12; ++i)
        engine_.midi.push_back("Input " + std::to_string(i));
    engine_.currentAudio = 11;
    for (int32_t id = 1; id <= 11; ++id)
        engine_.used.push_back({id, 1});
    {
        SamplerApplication app(&fakeOpcode);
        save(app); // at exit without a start-up table: the audio name is unknown, MIDI is refetched
    }
    EXPECT_EQ(dword(u"nbmididevice"), 11u);
    EXPECT_EQ(string(u"mididevice00"), u"Input 0");
    EXPECT_EQ(string(u"mididevice09"), u"Input 9");
    EXPECT_EQ(string(u"mididevice10"), u"Input 10");
    EXPECT_FALSE(hasString(u"mididevice11"));
    EXPECT_FALSE(hasString(u"mididevice010"));
    EXPECT_EQ(dword(u"samplerate"), 44100u);
    EXPECT_EQ(dword(u"buffersize"), 256u);
    EXPECT_EQ(dword(u"audiodevicestereopair"), 1u);

    engine_.exiting = false;
    engine_.calls.clear();
    SamplerApplication next(&fakeOpcode);
    restore(next);
    Enables expected;
    for (int32_t id = 1; id <= 11; ++id)
        expected.emplace_back(id, 1);
    EXPECT_EQ(enables(), expected);
    EXPECT_EQ(engine_.callsOf(VE_ENGINE_AUDIODEVICE_SETTINGS)[0].i1, 44100);
}

TEST_F(SettingsStoreTest, AnUnpluggedInputFallsBackAndKeepsItsNameAtExit) {
    engine_.audio = {{kAudioApiMME, "Speakers"}};
    engine_.midi = {"First", "Keys"};
    registry_.writeDword(kHiveCurrentUser, kKey, u"nbmididevice", 2);
    registry_.writeString(kHiveCurrentUser, kKey, u"mididevice00", u"Unplugged Keys");
    registry_.writeString(kHiveCurrentUser, kKey, u"mididevice01", u"Keys");
    SamplerApplication app(&fakeOpcode);
    restore(app);
    EXPECT_TRUE(log_.has('E', "Device :Unplugged Keys is gone from this system, using default"));
    EXPECT_EQ(enables(), (Enables{{1, 0}, {2, 1}}));

    // What the graph reports back: the fallback unremembered, the resolved input remembered.
    engine_.used = {{1, 0}, {2, 1}};
    engine_.currentAudio = 10;
    save(app);
    EXPECT_EQ(dword(u"nbmididevice"), 2u);
    EXPECT_EQ(string(u"mididevice00"), u"Unplugged Keys");
    EXPECT_EQ(string(u"mididevice01"), u"Keys");
    EXPECT_EQ(string(u"audiodevice"), u"Speakers");
    EXPECT_EQ(dword(u"audiodeviceapi"), static_cast<uint32_t>(kAudioApiMME));
}

TEST_F(SettingsStoreTest, AnEmptyRememberedNameTakesTheFirstInputRemembered) {
    engine_.midi = {"First", "Second"};
    registry_.writeDword(kHiveCurrentUser, kKey, u"nbmididevice", 1);
    SamplerApplication app(&fakeOpcode);
    app.restoreMidiInputs();
    EXPECT_EQ(enables(), (Enables{{1, 1}}));
}

TEST_F(SettingsStoreTest, AHugeRememberedCountIsBoundedAndLogged) {
    engine_.midi = {"First"};
    registry_.writeDword(kHiveCurrentUser, kKey, u"nbmididevice", 4000000000u);
    SamplerApplication app(&fakeOpcode);
    app.restoreMidiInputs();
    EXPECT_EQ(enables().size(), samplerapp::kMaxRememberedMidiInputs);
    EXPECT_EQ(log_.count("ignoring 3999999936"), 1u);
}

TEST_F(SettingsStoreTest, ADeviceChosenLaterThatWasNotInTheStartUpTableSavesEmpty) {
    engine_.audio = {{kAudioApiWASAPI, "Speakers"}};
    SamplerApplication app(&fakeOpcode);
    restore(app);
    engine_.currentAudio = 77; // picked in the preferences after a replug
    registry_.writeString(kHiveCurrentUser, kKey, u"audiodevice", u"Old");
    save(app);
    EXPECT_EQ(string(u"audiodevice"), u"");
    EXPECT_EQ(dword(u"audiodeviceapi"), 0xFFFFFFFFu);
    EXPECT_TRUE(log_.has('E', "Cannot find audio device name:77"));
}

TEST_F(SettingsStoreTest, AnInputPluggedInAfterStartUpIsNamedFromTheRefetchedTable) {
    engine_.midi = {"First"};
    SamplerApplication app(&fakeOpcode);
    restore(app);
    engine_.midiAtExit = {"First", "Late Keys"};
    engine_.used = {{2, 1}};
    save(app);
    EXPECT_EQ(string(u"mididevice00"), u"Late Keys");
    EXPECT_FALSE(log_.has('E', "error trying to get the MIDI Devices list before saving Preferences"));

    engine_.failMidiFill = true;
    engine_.used = {{1, 1}};
    save(app);
    EXPECT_TRUE(log_.has('E', "error trying to get the MIDI Devices list before saving Preferences"));
    EXPECT_TRUE(log_.has('E', "Cannot find midi device name:1"));
    EXPECT_EQ(string(u"mididevice00"), u"");
}

TEST_F(SettingsStoreTest, AThreeHundredCharacterNameReadsAsAbsent) {
    engine_.audio = {{kAudioApiMME, "Speakers"}, {kAudioApiMME, "Other"}};
    registry_.writeDword(kHiveCurrentUser, kKey, u"audiodeviceapi", kAudioApiMME);
    registry_.writeString(kHiveCurrentUser, kKey, u"audiodevice", std::u16string(300, u'x'));
    SamplerApplication app(&fakeOpcode);
    app.restoreAudioDevice();
    EXPECT_EQ(engine_.callsOf(VE_ENGINE_AUDIODEVICE_SET)[0].i1, 10);
    EXPECT_EQ(log_.count("is gone from this system"), 0u) << "absent, not gone";
}
