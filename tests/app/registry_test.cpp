// The registry operations on the in-memory store and on the file-backed store, through the same
// free functions the host calls.
#include "app/Registry.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>

using namespace vantor;

namespace {

const std::u16string kKey = u"Software\\Vantor\\QuorvelSA";

std::filesystem::path fromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string readFile(const std::string& path) {
    std::ifstream in(fromUtf8(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(fromUtf8(path).parent_path());
    std::ofstream out(fromUtf8(path), std::ios::binary);
    out << text;
}

// Each store kind behind the free functions, installed for one test.
class RegistryStores : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) {
            folder_ = test::tempFilePath("_registry");
            file_ = folder_ + "/Vantor/registry.txt";
            store_ = std::make_unique<FileRegistryStore>(file_);
        } else {
            store_ = std::make_unique<MemoryRegistryStore>();
        }
        setRegistryStore(store_.get());
    }
    void TearDown() override {
        setRegistryStore(nullptr);
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(fromUtf8(folder_), ignored);
        }
    }

    std::unique_ptr<MemoryRegistryStore> store_;
    std::string folder_;
    std::string file_;
};

} // namespace

TEST_P(RegistryStores, MissingKeyOrValueIsNotFoundAndLeavesTheOutputAlone) {
    uint32_t number = 0xDEADBEEF;
    std::u16string text = u"untouched";
    EXPECT_FALSE(registryReadDword(kHiveCurrentUser, kKey, u"firstUse", number));
    EXPECT_FALSE(registryReadString(kHiveCurrentUser, kKey, u"audiodevice", text));
    EXPECT_EQ(number, 0xDEADBEEFu);
    EXPECT_EQ(text, u"untouched");

    ASSERT_TRUE(registryWriteDword(kHiveCurrentUser, kKey, u"samplerate", 48000));
    EXPECT_FALSE(registryReadDword(kHiveCurrentUser, kKey, u"buffersize", number)) << "key exists, value not";
    EXPECT_FALSE(registryReadString(kHiveCurrentUser, kKey, u"audiodevice", text));
    EXPECT_EQ(number, 0xDEADBEEFu);
    EXPECT_EQ(text, u"untouched");
}

TEST_P(RegistryStores, ValuesRoundTrip) {
    ASSERT_TRUE(registryWriteDword(kHiveCurrentUser, kKey, u"audiodeviceapi", 0xFFFFFFFFu));
    ASSERT_TRUE(registryWriteDword(kHiveCurrentUser, kKey, u"firstUse", 0));
    const std::u16string name = u"Lautsprecher (Realtek\u00AE Audio) \"main\" \\ \u266B";
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kKey, u"audiodevice", name));
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kKey, u"mididevice00", u""));

    uint32_t number = 7;
    std::u16string text = u"x";
    ASSERT_TRUE(registryReadDword(kHiveCurrentUser, kKey, u"audiodeviceapi", number));
    EXPECT_EQ(static_cast<int32_t>(number), -1);
    ASSERT_TRUE(registryReadDword(kHiveCurrentUser, kKey, u"firstUse", number));
    EXPECT_EQ(number, 0u);
    ASSERT_TRUE(registryReadString(kHiveCurrentUser, kKey, u"audiodevice", text));
    EXPECT_EQ(text, name);
    ASSERT_TRUE(registryReadString(kHiveCurrentUser, kKey, u"mididevice00", text));
    EXPECT_EQ(text, u"");

    // Rewriting replaces, including with the other type.
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kKey, u"firstUse", u"a long text"));
    EXPECT_FALSE(registryReadDword(kHiveCurrentUser, kKey, u"firstUse", number)) << "24 bytes do not fit 4";
}

TEST_P(RegistryStores, StringsLongerThanTheBufferReadAsAbsent) {
    const std::u16string fits(259, u'a');
    const std::u16string tooLong(260, u'b');
    const std::u16string farTooLong(300, u'c');
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kKey, u"fits", fits));
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kKey, u"tooLong", tooLong));
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kKey, u"farTooLong", farTooLong));
    std::u16string text = u"kept";
    ASSERT_TRUE(registryReadString(kHiveCurrentUser, kKey, u"fits", text));
    EXPECT_EQ(text, fits);
    text = u"kept";
    EXPECT_FALSE(registryReadString(kHiveCurrentUser, kKey, u"tooLong", text));
    EXPECT_FALSE(registryReadString(kHiveCurrentUser, kKey, u"farTooLong", text));
    EXPECT_EQ(text, u"kept");
}

TEST_P(RegistryStores, TypesAreNotComparedOnRead) {
    // A DWORD read takes any data of at most 4 bytes; a string read takes the bytes as text.
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kKey, u"letter", u"A")); // 'A', NUL: 4 bytes
    uint32_t number = 0;
    ASSERT_TRUE(registryReadDword(kHiveCurrentUser, kKey, u"letter", number));
    EXPECT_EQ(number, 0x41u);
    ASSERT_TRUE(registryWriteDword(kHiveCurrentUser, kKey, u"number", 0x00420041u));
    std::u16string text;
    ASSERT_TRUE(registryReadString(kHiveCurrentUser, kKey, u"number", text));
    EXPECT_EQ(text, u"AB");
}

TEST_P(RegistryStores, DeleteValue) {
    EXPECT_TRUE(registryDeleteValue(kHiveCurrentUser, u"Software\\Vantor\\NoSuchKey", u"listingaudiodevices"))
        << "a key that cannot be opened counts as deleted";
    ASSERT_TRUE(registryWriteString(kHiveCurrentUser, kKey, u"listingaudiodevices", u"listing"));
    EXPECT_FALSE(registryDeleteValue(kHiveCurrentUser, kKey, u"listingmididevices")) << "no such value";
    EXPECT_TRUE(registryDeleteValue(kHiveCurrentUser, kKey, u"listingaudiodevices"));
    std::u16string text = u"gone";
    EXPECT_FALSE(registryReadString(kHiveCurrentUser, kKey, u"listingaudiodevices", text));
    EXPECT_EQ(text, u"gone");
}

TEST_P(RegistryStores, HivesAreSeparateAndNamesIgnoreCase) {
    ASSERT_TRUE(registryWriteDword(kHiveLocalMachine, kKey, u"usesMediaBar", 1));
    uint32_t number = 9;
    EXPECT_FALSE(registryReadDword(kHiveCurrentUser, kKey, u"usesMediaBar", number));
    EXPECT_FALSE(registryReadDword(2, kKey, u"usesMediaBar", number))
        << "any selector but 1 is the user's hive";
    ASSERT_TRUE(
        registryReadDword(kHiveLocalMachine, u"SOFTWARE\\vantor\\quorvelsa", u"USESMEDIABAR", number));
    EXPECT_EQ(number, 1u);

    ASSERT_TRUE(registryWriteDword(2, kKey, u"samplerate", 96000));
    ASSERT_TRUE(registryReadDword(kHiveCurrentUser, kKey, u"SampleRate", number));
    EXPECT_EQ(number, 96000u);
}

INSTANTIATE_TEST_SUITE_P(Stores, RegistryStores, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "File" : "Memory";
                         });

// ---- the file store's own behaviour -----------------------------------------------------

namespace {

class RegistryFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::tempFilePath("_registry");
        file_ = folder_ + "/Vantor/registry.txt";
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(fromUtf8(folder_), ignored);
    }
    std::string folder_;
    std::string file_;
};

} // namespace

TEST_F(RegistryFile, IsCreatedOnFirstWriteAndReadableByAnotherStore) {
    FileRegistryStore first(file_);
    uint32_t number = 0;
    EXPECT_FALSE(first.readDword(kHiveCurrentUser, kKey, u"firstUse", number));
    EXPECT_FALSE(std::filesystem::exists(fromUtf8(file_))) << "reading creates nothing";

    ASSERT_TRUE(first.writeDword(kHiveCurrentUser, kKey, u"firstUse", 0));
    ASSERT_TRUE(
        first.writeString(kHiveLocalMachine, u"Software\\Vantor\\Quorvel", u"base_dir", u"/opt/quorvel"));
    ASSERT_TRUE(std::filesystem::exists(fromUtf8(file_)));

    FileRegistryStore second(file_);
    number = 5;
    ASSERT_TRUE(second.readDword(kHiveCurrentUser, kKey, u"firstUse", number));
    EXPECT_EQ(number, 0u);
    std::u16string text;
    ASSERT_TRUE(second.readString(kHiveLocalMachine, u"Software\\Vantor\\Quorvel", u"base_dir", text));
    EXPECT_EQ(text, u"/opt/quorvel");

    // A change made through one store is seen by the other on its next operation.
    ASSERT_TRUE(second.deleteValue(kHiveCurrentUser, kKey, u"firstUse"));
    EXPECT_FALSE(first.readDword(kHiveCurrentUser, kKey, u"firstUse", number));
}

TEST_F(RegistryFile, TheTextIsTheDocumentedFormat) {
    FileRegistryStore store(file_);
    ASSERT_TRUE(store.writeDword(kHiveCurrentUser, kKey, u"firstUse", 0));
    ASSERT_TRUE(store.writeDword(kHiveCurrentUser, kKey, u"samplerate", 48000));
    ASSERT_TRUE(store.writeString(kHiveCurrentUser, kKey, u"audiodevice", u"Say \"hi\"\\now"));
    ASSERT_TRUE(
        store.writeString(kHiveLocalMachine, u"Software\\Vantor\\Brevian", u"path_x64", u"/opt/b.so"));
    const std::string text = readFile(file_);
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u) << text;
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Vantor\\QuorvelSA]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"firstUse\"=dword:00000000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"samplerate\"=dword:0000bb80\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"audiodevice\"=\"Say \\\"hi\\\"\\\\now\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Vantor\\Brevian]\n\"path_x64\"=\"/opt/b.so\"\n"),
              std::string::npos)
        << text;
}

TEST_F(RegistryFile, AHandWrittenFileIsUnderstood) {
    writeFile(file_, "; written by an installer\r\n"
                     "# comments of either kind\n"
                     "[HKLM\\Software\\Vantor\\Quorvel]\n"
                     "\"base_dir\" = \"/usr/share/quorvel\"\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Vantor\\QuorvelSA]\r\n"
                     "\"usesMediaBar\"=dword:1\r\n"
                     "\"broken\"=dword:xyz\n"
                     "\"tooWide\"=dword:123456789\n"
                     "\"unterminated\"=\"abc\n"
                     "garbage line\n"
                     "[HKEY_CLASSES_ROOT\\Ignored]\n"
                     "\"skipped\"=dword:00000001\n"
                     "[HKCU\\Software\\Vantor\\QuorvelSA]\n"
                     "\"multi\"=\"line one\\nline two\"\n");
    FileRegistryStore store(file_);
    std::u16string text;
    uint32_t number = 0;
    ASSERT_TRUE(store.readString(kHiveLocalMachine, u"Software\\Vantor\\Quorvel", u"base_dir", text));
    EXPECT_EQ(text, u"/usr/share/quorvel");
    ASSERT_TRUE(store.readDword(kHiveLocalMachine, kKey, u"usesMediaBar", number));
    EXPECT_EQ(number, 1u);
    EXPECT_FALSE(store.readDword(kHiveLocalMachine, kKey, u"broken", number));
    EXPECT_FALSE(store.readDword(kHiveLocalMachine, kKey, u"tooWide", number));
    EXPECT_FALSE(store.readString(kHiveLocalMachine, kKey, u"unterminated", text));
    EXPECT_FALSE(store.readDword(kHiveCurrentUser, u"Ignored", u"skipped", number));
    ASSERT_TRUE(store.readString(kHiveCurrentUser, kKey, u"multi", text));
    EXPECT_EQ(text, u"line one\nline two");
}

TEST(RegistryFileFormat, FormatThenParseKeepsEveryValue) {
    MemoryRegistryStore::KeyMap hives[2];
    FileRegistryStore::parse("[HKCU\\A\\B]\n\"x\"=dword:0000002a\n\"y\"=\"q\\\"uote\\\\\"\n"
                             "[HKLM\\C]\n\"z\"=\"\"\n",
                             hives);
    const std::string text = FileRegistryStore::format(hives);
    MemoryRegistryStore::KeyMap again[2];
    FileRegistryStore::parse(text, again);
    EXPECT_EQ(FileRegistryStore::format(again), text);
    ASSERT_EQ(again[0].size(), 1u);
    ASSERT_EQ(again[1].size(), 1u);
    EXPECT_EQ(again[0].begin()->second.second.size(), 2u);
}
