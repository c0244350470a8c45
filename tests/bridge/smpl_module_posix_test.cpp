// The engine module loader with the reference engine component loaded as a shared object: the
// registry paths, the pinned-hash check before loading, the entry point, the fallback data
// folder, and the block's events handed over.
#include "app/Registry.h"
#include "bridge/CodeSignature.h"
#include "bridge/EngineManager.h"
#include "engineapi/EngineOpcodes.h"
#include "bridge/SMPLModule.h"
#include "graph/DSPInfo.h"
#include "graph/GraphManager.h"
#include "log/TextConv.h"
#include "support/EngineTestHome.h"
#include "support/EngineModuleFixture.h"
#include "toolkit/Window.h"
#include "support/GuiScope.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

using namespace vantor;
namespace fs = std::filesystem;

namespace {

const std::u16string kProductKey = test::kProductKeyPath;
const std::u16string kEngineKey = test::kEngineKeyPath;

std::u16string wide(const std::string& text) {
    return narrowToWide(text);
}

bool isLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

// The shared loader fixture, with the boxes as a list and the build's data folder by default.
class SMPLModuleTest : public test::EngineModuleFixture {
protected:
    void install(const std::string& library, const std::string& data = QUORVEL_ENGINE_DATA_DIR) {
        EngineModuleFixture::install(library, data);
    }
    std::vector<std::pair<std::string, std::string>> boxes() { return boxes_.boxes(); }

    test::GuiScope gui_;
};

} // namespace

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(sha256Hex(twoBlocks.data(), twoBlocks.size()),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // Fed in uneven pieces across block edges: the same digest as in one go.
    std::string million(1000000, 'a');
    Sha256 pieces;
    for (size_t at = 0; at < million.size();) {
        size_t take = std::min<size_t>(million.size() - at, 1 + at % 97);
        pieces.update(million.data() + at, take);
        at += take;
    }
    EXPECT_EQ(pieces.finishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST_F(SMPLModuleTest, LoadsVerifiesAndCreatesTheReferenceEngine) {
    install(QUORVEL_ENGINE_LIBRARY);
    {
        SMPLModule module;
        EXPECT_TRUE(module.init(nullptr, &info_));
        EXPECT_NE(module.engineHandle(), nullptr);
        EXPECT_STREQ(module.dataDirectoryUtf8(), QUORVEL_ENGINE_DATA_DIR);
        EXPECT_TRUE(boxes().empty());
        EXPECT_TRUE(log_.has('I', "SMPLModule::init()"));
        EXPECT_EQ(log_.count("fetched Version:"), 1u);
        EXPECT_TRUE(isLoaded(QUORVEL_ENGINE_LIBRARY));

        // State passes through both ways.
        void* data = nullptr;
        int32_t size = 0;
        ASSERT_TRUE(module.saveChunk(&data, &size));
        ASSERT_NE(data, nullptr);
        ASSERT_GT(size, 0);
        std::vector<uint8_t> copy(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        EXPECT_TRUE(module.loadChunk(copy.data(), size));
        EXPECT_FALSE(module.loadChunk("junk", 4)) << "the engine's refusal is passed on";
    }
    EXPECT_FALSE(isLoaded(QUORVEL_ENGINE_LIBRARY)) << "unloaded with the module";
}

TEST_F(SMPLModuleTest, MissingInstallationValuesEndTheProcessWithTheirMessages) {
    {
        SMPLModule module;
        EXPECT_EQ(initEndsProcess(module), 0);
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].first, "Vantor Quorvel");
        EXPECT_EQ(boxes()[0].second, "Cannot find data installation, please re-install");
        EXPECT_TRUE(log_.has('E', "Can't get base_dir from registry"));
    }
    boxes_.clear();
    registry_.writeString(kHiveLocalMachine, kProductKey, u"base_dir", wide(QUORVEL_ENGINE_DATA_DIR));
    {
        SMPLModule module;
        EXPECT_EQ(initEndsProcess(module), 0);
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].second, "Cannot find engine installation, please re-install");
        EXPECT_TRUE(log_.has('E', "Can't get engine path_x64 from registry"));
    }
    EXPECT_FALSE(isLoaded(QUORVEL_ENGINE_LIBRARY));
}

TEST_F(SMPLModuleTest, ATamperedOrUnpinnedComponentIsRejectedBeforeLoading) {
    const fs::path copy = scratch_ / "libbrevian-tampered.so";
    fs::copy_file(QUORVEL_ENGINE_LIBRARY, copy);
    install(copy.string());
    { std::ofstream(copy, std::ios::app | std::ios::binary) << '\0'; }
    {
        SMPLModule module;
        EXPECT_EQ(initEndsProcess(module), 0);
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].first, "Vantor Quorvel");
        EXPECT_EQ(log_.count("Engine signature check failed for " + copy.string()), 1u);
        EXPECT_FALSE(isLoaded(copy.string())) << "never loaded";
    }
    boxes_.clear();
    registry_.deleteValue(kHiveLocalMachine, kEngineKey, kEngineHashValueName);
    registry_.writeString(kHiveLocalMachine, kEngineKey, u"path_x64", wide(QUORVEL_ENGINE_LIBRARY));
    {
        SMPLModule module;
        EXPECT_EQ(initEndsProcess(module), 0) << "no pin, no load";
        EXPECT_EQ(boxes().size(), 1u);
        EXPECT_FALSE(isLoaded(QUORVEL_ENGINE_LIBRARY));
    }
}

TEST_F(SMPLModuleTest, AComponentWithoutTheEntryPointIsRefused) {
    // The C library: a signed-off shared object that is no engine.
    Dl_info where{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&std::fopen), &where), 0);
    install(where.dli_fname);
    SMPLModule module;
    EXPECT_EQ(initEndsProcess(module), 0);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].second, "Cannot find Brevian engine component, please re-install");
    EXPECT_TRUE(log_.has('E', "GetProcAddress failed for brevianOpcode"));

    // A path that is no library at all fails the check first: nothing to hash.
    boxes_.clear();
    registry_.writeString(kHiveLocalMachine, kEngineKey, u"path_x64", u"/nonexistent/libbrevian.so");
    SMPLModule missing;
    EXPECT_EQ(initEndsProcess(missing), 0);
    EXPECT_EQ(boxes().size(), 1u);
}

// CTest runs each test in a process of its own, two at a time: the tests that put engine data into
// the executable's folder or count on its absence take this lock across processes.
class ExecutableFolderLock {
public:
    ExecutableFolderLock()
        : fd_(::open((fs::path(SMPLModule::executableFolder()) / ".engine-data.lock").c_str(),
                     O_CREAT | O_RDWR | O_CLOEXEC, 0644)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~ExecutableFolderLock() {
        if (fd_ >= 0) ::close(fd_); // releases the lock
    }
    ExecutableFolderLock(const ExecutableFolderLock&) = delete;
    ExecutableFolderLock& operator=(const ExecutableFolderLock&) = delete;

private:
    int fd_;
};

TEST_F(SMPLModuleTest, CreationFallsBackToTheExecutablesFolder) {
    ExecutableFolderLock folderLock;
    const fs::path folder = SMPLModule::executableFolder();
    const fs::path dat = folder / "Brevian.dat";
    const bool placed = !fs::exists(dat);
    if (placed) fs::copy_file(fs::path(QUORVEL_ENGINE_DATA_DIR) / "Brevian.dat", dat);
    install(QUORVEL_ENGINE_LIBRARY, (scratch_ / "empty-data").string());
    {
        SMPLModule module;
        EXPECT_TRUE(module.init(nullptr, &info_));
        EXPECT_NE(module.engineHandle(), nullptr);
        EXPECT_STREQ(module.dataDirectoryUtf8(), folder.string().c_str());
    }
    if (placed) fs::remove(dat);
    auto lines = log_.messages();
    auto failed = std::find(lines.begin(), lines.end(), "Engine creation failed!");
    auto found =
        std::find(lines.begin(), lines.end(), "found the file in the current directory : " + folder.string());
    ASSERT_NE(failed, lines.end());
    ASSERT_NE(found, lines.end());
    EXPECT_LT(failed, found);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(SMPLModuleTest, AnEngineThatCannotBeCreatedAnywhereEndsTheProcessWithoutABox) {
    ExecutableFolderLock folderLock;
    const fs::path folder = SMPLModule::executableFolder();
    if (fs::exists(folder / "Brevian.dat")) GTEST_SKIP() << "the executable's folder holds engine data";
    install(QUORVEL_ENGINE_LIBRARY, (scratch_ / "empty-data").string());
    SMPLModule module;
    EXPECT_EQ(initEndsProcess(module), 0);
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(log_.has('E', "Engine creation failed!"));
}

TEST_F(SMPLModuleTest, ABlockOf1500EventsHandsTheEngineTheFirst1024) {
    install(QUORVEL_ENGINE_LIBRARY);
    SMPLModule module;
    ASSERT_TRUE(module.init(nullptr, &info_));
    module.start();
    expectTheFirst1024Of1500EventsPlayed(module);

    MidiEventArray events;
    std::vector<float> left(256), right(256);
    float* outputs[2] = {left.data(), right.data()};
    module.processBlock(events, nullptr, outputs, 256, false);
    EXPECT_EQ(module.eventBlock().count, 0u);
    module.stop();
}

TEST_F(SMPLModuleTest, AnInstallationByTheInstallScriptLoadsThroughTheRegistryFile) {
    const fs::path repo = fs::path(QUORVEL_ENGINE_DATA_DIR).parent_path();
    const fs::path build = fs::path(QUORVEL_ENGINE_LIBRARY).parent_path().parent_path();
    const fs::path registryFile = scratch_ / "registry.txt";
    const std::string command = "XDG_DATA_HOME='" + (scratch_ / "xdg").string() + "' '" +
                                (repo / "scripts/install-posix.sh").string() + "' --prefix '" +
                                (scratch_ / "prefix").string() + "' --build '" + build.string() +
                                "' --registry '" + registryFile.string() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_TRUE(fs::is_directory(scratch_ / "xdg/Vantor/Quorvel"));

    FileRegistryStore store(registryFile.string());
    setRegistryStore(&store);
    uint32_t mediaBar = 0;
    EXPECT_TRUE(
        store.readDword(kHiveLocalMachine, u"Software\\Vantor\\QuorvelSA", u"usesMediaBar", mediaBar));
    EXPECT_EQ(mediaBar, 1u);
    {
        SMPLModule module;
        EXPECT_TRUE(module.init(nullptr, &info_));
        EXPECT_EQ(module.enginePath(), wide((scratch_ / "prefix/lib/libbrevian.so").string()));
        EXPECT_STREQ(module.dataDirectoryUtf8(), (scratch_ / "prefix/data").string().c_str());
        EXPECT_NE(module.engineHandle(), nullptr);
    }
    // Replacing the installed component without reinstalling is caught.
    { std::ofstream(scratch_ / "prefix/lib/libbrevian.so", std::ios::app | std::ios::binary) << 'x'; }
    SMPLModule module;
    EXPECT_EQ(initEndsProcess(module), 0);
    EXPECT_EQ(boxes().size(), 1u);
}

// ---- the editor in the main window -------------------------------------------------------

namespace {

struct EngineCall {
    void* handle;
    int32_t operation;
    bool operator==(const EngineCall&) const = default;
};

void recordCall(void* context, void* handle, int32_t operation) {
    static_cast<std::vector<EngineCall>*>(context)->push_back({handle, operation});
}

// Records the operations handed to the engine for as long as it lives.
class CallTrace {
public:
    CallTrace() { SMPLModule::setOperationObserver(&recordCall, &calls_); }
    ~CallTrace() { SMPLModule::setOperationObserver(nullptr, nullptr); }
    std::vector<EngineCall>& calls() { return calls_; }
    std::vector<int32_t> operations() const {
        std::vector<int32_t> out;
        for (const EngineCall& call : calls_)
            out.push_back(call.operation);
        return out;
    }

private:
    std::vector<EngineCall> calls_;
};

const std::u16string kSettingsKey = u"Software\\Vantor\\QuorvelSA";

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

TEST_F(SMPLModuleTest, ShowUIOpensTheEditorInAMainWindowSizedToIt) {
    test::EngineTestHome home; // the engine calls engineOpcode back: its log goes here
    install(QUORVEL_ENGINE_LIBRARY);
    registry_.writeDword(kHiveLocalMachine, kSettingsKey, u"usesMediaBar", 1);
    SMPLModule module;
    ASSERT_TRUE(module.init(nullptr, &info_));
    VTR::clearQuitPosted();
    {
        CallTrace trace;
        EXPECT_FALSE(module.showUI(nullptr));
        ASSERT_NE(module.editorHandle(), nullptr);
        void* engine = module.engineHandle();
        void* editor = module.editorHandle();
        EXPECT_EQ(trace.calls(), (std::vector<EngineCall>{{nullptr, BREVIAN_OP_EDITOR_CREATE},
                                                          {editor, BREVIAN_OP_EDITOR_OPEN},
                                                          {engine, BREVIAN_OP_EDITOR_ATTACH},
                                                          {editor, BREVIAN_OP_EDITOR_GET_SIZE},
                                                          {engine, BREVIAN_OP_SET_HOST_CALLBACK},
                                                          {engine, BREVIAN_OP_STATE_LOAD}}))
            << "the editor, the callback, then the factory default state";
    }
    MainWindow* window = test::mainWindowOf(module);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->title(), u"Vantor Quorvel");
    EXPECT_EQ(window->name(), u"SA");
    EXPECT_TRUE(module.usesMediaBar());
    EXPECT_TRUE(window->usesMediaBar());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->hasFocus());
    EXPECT_EQ(window->headlessTimers(), (std::map<int, int>{{1001, 16}}));
    int width = 0, height = 0, x = 0, y = 0;
    window->clientSize(width, height);
    window->position(x, y);
    EXPECT_EQ(width, 760) << "the reference editor's wide view";
    EXPECT_EQ(height, 300 + 40) << "the editor and the media bar under it";
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 100);
    EXPECT_FALSE(window->smallerLayout());
    // The engine's calls back into the host made the test home's log the one that is written.
    EXPECT_EQ(occurrences(home.readLog(), "smallerSize enabled"), 0u);

    // The engine asks for its compact view: the window follows and keeps its place.
    EXPECT_EQ(
        SMPLModule::hostCallback(BREVIAN_HOST_EDITOR_RESIZED, nullptr, nullptr, 640, 300, 0, 0.0f, &module),
        0);
    window->clientSize(width, height);
    window->position(x, y);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 340);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 100);
    EXPECT_TRUE(window->smallerLayout());
    EXPECT_EQ(occurrences(home.readLog(), "smallerSize enabled"), 1u);
    // Other codes, and sizes no window can have, change nothing and still answer 0.
    EXPECT_EQ(SMPLModule::hostCallback(8197, nullptr, nullptr, 900, 500, 0, 0.0f, &module), 0);
    EXPECT_EQ(
        SMPLModule::hostCallback(BREVIAN_HOST_EDITOR_RESIZED, nullptr, nullptr, -5, 300, 0, 0.0f, &module),
        0);
    EXPECT_EQ(SMPLModule::hostCallback(BREVIAN_HOST_EDITOR_RESIZED, nullptr, nullptr, 800, 1 << 30, 0, 0.0f,
                                       &module),
              0);
    window->clientSize(width, height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 340);
    // Back to the wide view: the normal layout again.
    EXPECT_EQ(
        SMPLModule::hostCallback(BREVIAN_HOST_EDITOR_RESIZED, nullptr, nullptr, 755, 300, 0, 0.0f, &module),
        0);
    EXPECT_FALSE(window->smallerLayout());
    EXPECT_EQ(
        SMPLModule::hostCallback(BREVIAN_HOST_EDITOR_RESIZED, nullptr, nullptr, 754, 300, 0, 0.0f, &module),
        0);
    EXPECT_TRUE(window->smallerLayout());

    // The 16 ms tick gives the engine its idle call.
    {
        CallTrace trace;
        window->onTimer(MainWindow::kIdleTimerId);
        window->onTimer(7);
        EXPECT_EQ(trace.calls(), (std::vector<EngineCall>{{module.engineHandle(), BREVIAN_OP_IDLE}}));
    }

    // Closing the window ends the message loop; the module no longer reaches it.
    EXPECT_FALSE(VTR::quitPosted());
    window->destroy();
    EXPECT_TRUE(VTR::quitPosted());
    EXPECT_EQ(test::mainWindowOf(module), nullptr);
    EXPECT_EQ(
        SMPLModule::hostCallback(BREVIAN_HOST_EDITOR_RESIZED, nullptr, nullptr, 760, 300, 0, 0.0f, &module),
        0);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(SMPLModuleTest, WithoutTheMediaBarTheWindowIsTheEditorAndOutlivesTheModule) {
    test::EngineTestHome home;
    install(QUORVEL_ENGINE_LIBRARY);
    MainWindow* window = nullptr;
    {
        SMPLModule module;
        ASSERT_TRUE(module.init(nullptr, &info_));
        module.showUI(nullptr);
        window = test::mainWindowOf(module);
        ASSERT_NE(window, nullptr);
        int width = 0, height = 0;
        window->clientSize(width, height);
        EXPECT_EQ(width, 760);
        EXPECT_EQ(height, 300) << "no media bar without usesMediaBar";
        EXPECT_FALSE(module.usesMediaBar());

        // A second request opens no second editor.
        CallTrace trace;
        module.showUI(nullptr);
        EXPECT_EQ(test::mainWindowOf(module), window);
        EXPECT_TRUE(trace.calls().empty());
    }
    // The module (and its editor) went first: the window stays until closed but ticks nothing.
    EXPECT_EQ(window->module(), nullptr);
    window->onTimer(MainWindow::kIdleTimerId);
    EXPECT_EQ(VTR::destroyHeadlessWindows(), 1);
}

TEST_F(SMPLModuleTest, TheInstrumentOpcodesAddStartAndShowTheEngineModule) {
    install(QUORVEL_ENGINE_LIBRARY);
    test::EngineTestHome home;
    ASSERT_EQ(engineOpcode(VE_ENGINE_INITIALIZE, nullptr, nullptr, 0, 0, 0, 0.0f), kEngineOk);
    GraphManager* graph = GraphManager::peek();
    ASSERT_NE(graph, nullptr);

    std::vector<int32_t> operations;
    {
        CallTrace trace;
        EXPECT_EQ(engineOpcode(VE_ENGINE_INSTRUMENT_ADD, nullptr, nullptr, 0, 0, 0, 0.0f), kEngineNoResult)
            << "3 although the instrument was added";
        operations = trace.operations();
    }
    auto* module = dynamic_cast<SMPLModule*>(graph->getInstrument(0));
    ASSERT_NE(module, nullptr) << "the engine module is in slot 0";
    EXPECT_NE(module->engineHandle(), nullptr);
    // Created, told the stream, then started.
    EXPECT_EQ(operations, (std::vector<int32_t>{BREVIAN_OP_GET_VERSION, BREVIAN_OP_CREATE,
                                                BREVIAN_OP_SET_STREAM, BREVIAN_OP_START}));
    EXPECT_TRUE(boxes().empty());

    {
        CallTrace trace;
        EXPECT_EQ(engineOpcode(VE_ENGINE_INSTRUMENT_ADD, nullptr, nullptr, 0, 0, 0, 0.0f), kEngineNoResult);
        EXPECT_TRUE(trace.calls().empty()) << "no second engine is loaded";
    }
    EXPECT_EQ(graph->getInstrument(0), module);

    EXPECT_EQ(engineOpcode(VE_ENGINE_INSTRUMENT_GUI_SHOW, nullptr, nullptr, 1, 0, 0, 0.0f), kEngineFailed)
        << "slot 1 is empty";
    EXPECT_EQ(test::mainWindowOf(*module), nullptr);
    // The module's showUI answers false, so the opcode answers 1; the window is there all the same.
    EXPECT_EQ(engineOpcode(VE_ENGINE_INSTRUMENT_GUI_SHOW, nullptr, nullptr, 0, 0, 0, 0.0f), kEngineFailed);
    MainWindow* window = test::mainWindowOf(*module);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_NE(home.readLog().find("VE_ENGINE_INSTRUMENT_GUI_SHOW"), std::string::npos);

    // Shutdown destroys the module with the graph; the window (closed later) forgets it.
    EXPECT_EQ(engineOpcode(VE_ENGINE_SHUTDOWN, nullptr, nullptr, 0, 0, 0, 0.0f), kEngineOk);
    EXPECT_EQ(window->module(), nullptr);
    EXPECT_EQ(VTR::destroyHeadlessWindows(), 1);
}

TEST_F(SMPLModuleTest, TheStartUpStateComesFromTheCommandLineTheUserOrTheFactory) {
    test::EngineTestHome home;
    install(QUORVEL_ENGINE_LIBRARY);
    auto stateOf = [](SMPLModule& module) {
        void* data = nullptr;
        int32_t size = 0;
        EXPECT_TRUE(module.saveChunk(&data, &size));
        return std::string(static_cast<const char*>(data), static_cast<size_t>(size > 0 ? size : 0));
    };
    auto readFile = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    auto showFresh = [&](const AppArgumentList& arguments) {
        AppArgumentList copy = arguments;
        EXPECT_EQ(engineOpcode(VE_ENGINE_APP_ARGUMENTS_SET, &copy, nullptr, 0, 0, 0, 0.0f), kEngineOk);
        auto module = std::make_unique<SMPLModule>();
        EXPECT_TRUE(module->init(nullptr, &info_));
        module->showUI(nullptr);
        VTR::destroyHeadlessWindows();
        return module;
    };
    const std::string factory = readFile(fs::path(QUORVEL_ENGINE_DATA_DIR) / "default.brevian");
    ASSERT_FALSE(factory.empty());

    // A state of its own: a preset opened, then saved.
    const fs::path preset = scratch_ / "lead.preset";
    {
        std::ofstream(preset)
            << "BREVIAN-PRESET 1\nTest_Lead 0.010 0.30 0.60 0.40 2400 0.30 1.0 4.0 0.10 0.70\n";
    }
    std::string lead;
    {
        auto module = showFresh({"Quorvel.exe", preset.string()});
        lead = stateOf(*module);
        EXPECT_NE(lead, factory) << "a file that is no state goes to the engine instead";
        EXPECT_EQ(occurrences(home.readLog(), "no user default.brevian found, check in app dataPath"), 0u);
    }

    // No user default: the factory's.
    {
        auto module = showFresh({"Quorvel.exe"});
        EXPECT_EQ(stateOf(*module), factory);
        EXPECT_EQ(occurrences(home.readLog(), "no user default.brevian found, check in app dataPath"), 1u);
    }
    // The user's default wins over the factory's; a missing file named on the command line is
    // no reason to skip it.
    { std::ofstream(fs::path(home.folder()) / "default.brevian", std::ios::binary) << lead; }
    {
        auto module = showFresh({"Quorvel.exe", (scratch_ / "missing.brevian").string()});
        EXPECT_EQ(stateOf(*module), lead);
    }
    // A state file on the command line wins over both.
    const fs::path named = scratch_ / "song.brevian";
    fs::copy_file(fs::path(QUORVEL_ENGINE_DATA_DIR) / "default.brevian", named);
    {
        auto module = showFresh({"Quorvel.exe", named.string()});
        EXPECT_EQ(stateOf(*module), factory);
    }
    // A damaged state is refused by the engine and leaves its state as it was.
    { std::ofstream(named, std::ios::binary | std::ios::trunc) << "BRVS junk"; }
    {
        auto module = showFresh({"Quorvel.exe", named.string()});
        EXPECT_NE(stateOf(*module), lead);
    }
    EXPECT_TRUE(boxes().empty());
}

// An exception inside an opcode (memory running out while the engine saves, here) stops at
// engineOpcode: an error line, failure, and the bridge goes on answering.
TEST_F(SMPLModuleTest, AnExceptionInsideAnOpcodeIsAnsweredAsFailure) {
    install(QUORVEL_ENGINE_LIBRARY);
    test::EngineTestHome home;
    ASSERT_EQ(engineOpcode(VE_ENGINE_INITIALIZE, nullptr, nullptr, 0, 0, 0, 0.0f), kEngineOk);
    engineOpcode(VE_ENGINE_INSTRUMENT_ADD, nullptr, nullptr, 0, 0, 0, 0.0f);
    void* data = nullptr;
    int32_t size = -1;
    SMPLModule::setOperationObserver(
        [](void*, void*, int32_t operation) {
            if (operation == BREVIAN_OP_STATE_SAVE) throw std::bad_alloc();
        },
        nullptr);
    int32_t result = -1;
    EXPECT_NO_THROW(result = engineOpcode(VE_ENGINE_INSTRUMENT_CHUNK_SAVE, &data, &size, 0, 0, 0, 0.0f));
    SMPLModule::setOperationObserver(nullptr, nullptr);
    EXPECT_EQ(result, kEngineFailed);
    EXPECT_EQ(size, -1);
    EXPECT_NE(home.readLog().find("E:"), std::string::npos);
    EXPECT_NE(home.readLog().find("engineOpcode 335 failed: std::bad_alloc"), std::string::npos);

    EXPECT_EQ(engineOpcode(VE_ENGINE_INSTRUMENT_CHUNK_SAVE, &data, &size, 0, 0, 0, 0.0f), kEngineOk);
    EXPECT_GT(size, 0);
    EXPECT_EQ(engineOpcode(VE_ENGINE_SHUTDOWN, nullptr, nullptr, 0, 0, 0, 0.0f), kEngineOk);
}

// A state file is read only up to the documented limit: a larger one is refused with an error
// line before anything is allocated for it, and the engine never sees it.
TEST_F(SMPLModuleTest, AStateFileAboveTheLimitIsRefusedUnread) {
    install(QUORVEL_ENGINE_LIBRARY);
    SMPLModule module;
    ASSERT_TRUE(module.init(nullptr, &info_));
    const fs::path big = scratch_ / "huge.brevian";
    {
        std::ofstream(big, std::ios::binary) << "BRVS";
    }
    fs::resize_file(big, SMPLModule::kMaxStateFileBytes + 1); // sparse: no disk use
    CallTrace trace;
    module.loadStateFile(narrowToWide(big.string()));
    EXPECT_TRUE(trace.calls().empty()) << "the engine was handed the file";
    EXPECT_TRUE(log_.has('E', "state file too large: " + big.string()));

    fs::resize_file(big, SMPLModule::kMaxStateFileBytes);
    module.loadStateFile(narrowToWide(big.string()));
    EXPECT_EQ(trace.operations(), std::vector<int32_t>{BREVIAN_OP_STATE_LOAD}) << "the limit itself is read";
}

// The engine file is held from its check to its load: a file swapped in at the path in between
// (here the same bytes as another file, so only the identity tells) is not the file checked.
TEST_F(SMPLModuleTest, AFileSwappedInAfterTheCheckIsNotTakenForTheCheckedOne) {
    const fs::path engine = scratch_ / "Brevian.so";
    fs::copy_file(QUORVEL_ENGINE_LIBRARY, engine);
    install(engine.string());
    const std::u16string path = narrowToWide(engine.string());

    VerifiedEngineFile held;
    std::string reason;
    ASSERT_TRUE(held.verify(path, reason)) << reason;
    void* library = dlopen(engine.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(held.isTheLoadedFile(library));
    dlclose(library);

    ASSERT_TRUE(held.verify(path, reason)) << reason;
    const fs::path swapped = scratch_ / "swapped.so";
    fs::copy_file(QUORVEL_ENGINE_LIBRARY, swapped);
    fs::rename(swapped, engine);
    library = dlopen(engine.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    EXPECT_FALSE(held.isTheLoadedFile(library));
    dlclose(library);
    held.release();
}
