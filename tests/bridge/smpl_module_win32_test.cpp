// The engine module loader under Windows with the build's signed Brevian.dll: loaded only with its
// signing certificate trusted, refused before loading when unsigned, tampered, signed under an
// untrusted root or lacking the entry point; created from the executable's folder when the
// registry's data folder lacks the engine's data; the block's events handed over.
//
// Trust: the process trusts the build's certificate before any test runs (the chain engine reads
// the Root store once per process), and puts the store back as it found it at the end. The
// untrusted case runs in a child process started without that trust.
#include "bridge/CodeSignature.h"
#include "bridge/SMPLModule.h"
#include "support/EngineModuleFixture.h"
#include "support/FileBytes.h"

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace vantor;
namespace fs = std::filesystem;

namespace {

// Set in the child process: the value is the file it writes when its test ran.
constexpr const wchar_t* kUntrustedChildVariable = L"QUORVEL_TEST_UNTRUSTED_CHILD";

fs::path windowsPath(const char* path) {
    return fs::path(path).make_preferred();
}

const fs::path kSignedEngine = windowsPath(QUORVEL_SIGNED_ENGINE);
const fs::path kNoEntryComponent = windowsPath(QUORVEL_SIGNED_NO_ENTRY_COMPONENT);
const fs::path kCertificate = windowsPath(QUORVEL_ENGINE_CERTIFICATE);
const fs::path kEngineData = windowsPath(QUORVEL_ENGINE_DATA_DIR);

std::wstring untrustedChildMarker() {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(kUntrustedChildVariable, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

bool isLoaded(const fs::path& library) {
    return GetModuleHandleW(library.filename().wstring().c_str()) != nullptr;
}

fs::path ownProgram() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path);
}

// The build's signing certificate in the machine's Root store, as the install step puts it.
class RootTrust {
public:
    static bool present() { return change(Action::Check); }
    static bool add() { return change(Action::Add); }
    static bool remove() { return change(Action::Remove); }

private:
    enum class Action { Check, Add, Remove };
    static bool change(Action action) {
        std::ifstream file(kCertificate, std::ios::binary);
        std::vector<BYTE> der((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (der.empty()) return false;
        HCERTSTORE store =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
        if (!store) return false;
        bool ok = false;
        if (action == Action::Add) {
            ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                  static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        } else {
            PCCERT_CONTEXT wanted =
                CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
            PCCERT_CONTEXT found = wanted ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                                       CERT_FIND_EXISTING, wanted, nullptr)
                                          : nullptr;
            if (action == Action::Check) {
                ok = found != nullptr;
                if (found) CertFreeCertificateContext(found);
            } else {
                ok = true;
                while (found && ok) {
                    ok = CertDeleteCertificateFromStore(found); // frees `found`
                    found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                       wanted, nullptr);
                }
                // Registry-backed stores keep deletions pending until committed.
                ok = ok && CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
            }
            if (wanted) CertFreeCertificateContext(wanted);
        }
        CertCloseStore(store, 0);
        return ok;
    }
};

class TrustEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        wasTrusted_ = RootTrust::present();
        if (untrustedChildMarker().empty())
            ASSERT_TRUE(RootTrust::add()) << "cannot trust " << kCertificate;
        else
            ASSERT_TRUE(RootTrust::remove()) << "cannot withdraw trust from " << kCertificate;
    }
    void TearDown() override {
        // The child leaves the store to its parent, which puts it back as it was.
        if (!untrustedChildMarker().empty()) return;
        if (wasTrusted_)
            RootTrust::add();
        else
            RootTrust::remove();
    }

private:
    bool wasTrusted_ = false;
};

[[maybe_unused]] const auto* const kTrust = ::testing::AddGlobalTestEnvironment(new TrustEnvironment);

class SMPLModuleWin32Test : public test::EngineModuleFixture {
protected:
    void installSigned(const fs::path& data = kEngineData) { install(kSignedEngine, data); }

    // A copy of the signed engine under another name in the scratch folder.
    fs::path copyOfEngine(const char* name) {
        const fs::path copy = scratch_ / name;
        fs::copy_file(kSignedEngine, copy, fs::copy_options::overwrite_existing);
        return copy;
    }
    bool refusedForSignature(const fs::path& library) {
        const auto boxes = boxes_.boxes();
        return boxes.size() == 1 && boxes[0].first == "Vantor Quorvel" &&
               boxes[0].second == "The Brevian engine component is not signed by Vantor, please re-install" &&
               log_.count("Engine signature check failed for " + library.string() + ": ") == 1;
    }
};

} // namespace

TEST_F(SMPLModuleWin32Test, LoadsVerifiesAndCreatesTheSignedEngine) {
    ASSERT_TRUE(RootTrust::present());
    installSigned();
    {
        SMPLModule module;
        EXPECT_TRUE(module.init(nullptr, &info_));
        EXPECT_NE(module.engineHandle(), nullptr);
        EXPECT_EQ(fs::path(module.enginePath()), kSignedEngine);
        EXPECT_EQ(fs::path(module.dataDirectory()), kEngineData);
        EXPECT_TRUE(boxes_.boxes().empty());
        EXPECT_TRUE(log_.has('I', "SMPLModule::init()"));
        EXPECT_EQ(log_.count("fetched Version:"), 1u);
        EXPECT_EQ(log_.count("Engine creation failed!"), 0u);
        EXPECT_TRUE(isLoaded(kSignedEngine));

        void* data = nullptr;
        int32_t size = 0;
        ASSERT_TRUE(module.saveChunk(&data, &size));
        ASSERT_GT(size, 0);
        std::vector<uint8_t> copy(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        EXPECT_TRUE(module.loadChunk(copy.data(), size));
        EXPECT_FALSE(module.loadChunk("junk", 4));
    }
    EXPECT_FALSE(isLoaded(kSignedEngine)) << "unloaded with the module";
}

TEST_F(SMPLModuleWin32Test, MissingInstallationValuesEndTheProcessBeforeLoading) {
    {
        SMPLModule module;
        EXPECT_EQ(initEndsProcess(module), 0);
        EXPECT_TRUE(boxes_.contains("Cannot find data installation, please re-install"));
        EXPECT_TRUE(log_.has('E', "Can't get base_dir from registry"));
    }
    boxes_.clear();
    registry_.writeString(kHiveLocalMachine, test::kProductKeyPath, u"base_dir",
                          test::registryText(kEngineData));
    {
        SMPLModule module;
        EXPECT_EQ(initEndsProcess(module), 0);
        ASSERT_EQ(boxes_.boxes().size(), 1u);
        EXPECT_EQ(boxes_.boxes()[0].second, "Cannot find engine installation, please re-install");
        EXPECT_TRUE(log_.has('E', "Can't get engine path_x64 from registry"));
    }
    EXPECT_FALSE(isLoaded(kSignedEngine));
}

TEST_F(SMPLModuleWin32Test, TamperedAndUnsignedComponentsAreRefusedBeforeLoading) {
    const fs::path tampered = copyOfEngine("Brevian-tampered.dll");
    test::flipByte(tampered, 1024); // one byte of the code changed after signing
    install(tampered, kEngineData);
    {
        SMPLModule module;
        EXPECT_EQ(initEndsProcess(module), 0);
        EXPECT_TRUE(refusedForSignature(tampered)) << log_.contents();
        EXPECT_FALSE(isLoaded(tampered)) << "never loaded";
    }

    // A library with no signature at all: this test program under a library's name.
    const fs::path unsigned_ = scratch_ / "Brevian-unsigned.dll";
    fs::copy_file(ownProgram(), unsigned_);
    boxes_.clear();
    install(unsigned_, kEngineData);
    {
        SMPLModule module;
        EXPECT_EQ(initEndsProcess(module), 0);
        EXPECT_TRUE(refusedForSignature(unsigned_)) << log_.contents();
        EXPECT_FALSE(isLoaded(unsigned_));
    }

    // A path where there is no file.
    boxes_.clear();
    install(scratch_ / "missing" / "Brevian.dll", kEngineData);
    SMPLModule module;
    EXPECT_EQ(initEndsProcess(module), 0);
    EXPECT_EQ(boxes_.boxes().size(), 1u);
}

TEST_F(SMPLModuleWin32Test, ASignedLibraryWithoutTheEntryPointIsRefused) {
    install(kNoEntryComponent, kEngineData);
    SMPLModule module;
    EXPECT_EQ(initEndsProcess(module), 0);
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].first, "Vantor Quorvel");
    EXPECT_EQ(boxes_.boxes()[0].second, "Cannot find Brevian engine component, please re-install");
    EXPECT_TRUE(log_.has('E', "GetProcAddress failed for brevianOpcode"));
    EXPECT_EQ(log_.count("Engine signature check failed"), 0u) << "its signature passed";
}

// Runs in a child process whose Root store lacks the certificate (skipped in the parent).
TEST_F(SMPLModuleWin32Test, UntrustedRootChild) {
    const std::wstring marker = untrustedChildMarker();
    if (marker.empty())
        GTEST_SKIP() << "runs in the child process of ASignatureUnderAnUntrustedRootIsRefused";
    EXPECT_FALSE(RootTrust::present());
    installSigned();
    SMPLModule module;
    EXPECT_EQ(initEndsProcess(module), 0);
    EXPECT_TRUE(refusedForSignature(kSignedEngine)) << log_.contents();
    EXPECT_EQ(log_.count("not trusted"), 1u) << log_.contents();
    EXPECT_FALSE(isLoaded(kSignedEngine));
    std::ofstream(fs::path(marker)) << "ran\n";
}

TEST_F(SMPLModuleWin32Test, ASignatureUnderAnUntrustedRootIsRefused) {
    if (!untrustedChildMarker().empty()) GTEST_SKIP() << "the child itself";
    const fs::path marker = scratch_ / "untrusted-child-ran.txt";
    SetEnvironmentVariableW(kUntrustedChildVariable, marker.wstring().c_str());
    std::wstring command = L"\"" + ownProgram().wstring() +
                           L"\" --gtest_filter=SMPLModuleWin32Test.UntrustedRootChild --gtest_brief=1";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableW(kUntrustedChildVariable, nullptr);
    ASSERT_TRUE(started) << GetLastError();
    const DWORD waited = WaitForSingleObject(process.hProcess, 120000);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The child took the certificate out of the store; this process trusts it again.
    EXPECT_TRUE(RootTrust::add());
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the child did not end";
    EXPECT_EQ(status, 0u) << "the child's checks failed (its output is above)";
    EXPECT_TRUE(fs::exists(marker)) << "the child's test did not run";
}

TEST_F(SMPLModuleWin32Test, CreationFallsBackToTheExecutablesFolderWithBothLogLines) {
    const std::string folderUtf8 = SMPLModule::executableFolder();
    const fs::path folder = fs::path(std::u8string(folderUtf8.begin(), folderUtf8.end()));
    EXPECT_EQ(folder, ownProgram().parent_path());
    const fs::path dat = folder / "Brevian.dat";
    const bool placed = !fs::exists(dat);
    if (placed) fs::copy_file(kEngineData / "Brevian.dat", dat);
    const fs::path emptyData = scratch_ / "empty-data";
    fs::create_directories(emptyData);
    installSigned(emptyData);
    {
        SMPLModule module;
        EXPECT_TRUE(module.init(nullptr, &info_));
        EXPECT_NE(module.engineHandle(), nullptr);
        EXPECT_EQ(std::string(module.dataDirectoryUtf8()), folderUtf8);
    }
    if (placed) fs::remove(dat);
    EXPECT_TRUE(log_.has('E', "Engine creation failed!"));
    EXPECT_TRUE(
        loggedInOrder("Engine creation failed!", "found the file in the current directory : " + folderUtf8))
        << log_.contents();
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(SMPLModuleWin32Test, AnEngineThatCannotBeCreatedAnywhereEndsTheProcessWithoutABox) {
    if (fs::exists(ownProgram().parent_path() / "Brevian.dat"))
        GTEST_SKIP() << "the test's folder holds engine data";
    const fs::path emptyData = scratch_ / "empty-data";
    fs::create_directories(emptyData);
    installSigned(emptyData);
    {
        SMPLModule module;
        EXPECT_EQ(initEndsProcess(module), 0);
    }
    EXPECT_TRUE(boxes_.boxes().empty());
    EXPECT_TRUE(log_.has('E', "Engine creation failed!"));
    EXPECT_EQ(log_.count("found the file in the current directory"), 0u);
    EXPECT_FALSE(isLoaded(kSignedEngine));
}

TEST_F(SMPLModuleWin32Test, ABlockOf1500EventsHandsTheEngineTheFirst1024) {
    installSigned();
    SMPLModule module;
    ASSERT_TRUE(module.init(nullptr, &info_));
    module.start();
    expectTheFirst1024Of1500EventsPlayed(module);
    module.stop();
}

// The checked file is held until it is loaded: while held nobody can write, rename, delete or
// replace it, and it still loads; released, it can be replaced again.
TEST_F(SMPLModuleWin32Test, TheCheckedFileCannotBeSwappedBeforeItsLoad) {
    ASSERT_TRUE(RootTrust::present());
    const fs::path engine = copyOfEngine("Held.dll");
    const fs::path other = copyOfEngine("Other.dll");
    const std::wstring path = engine.wstring();
    VerifiedEngineFile held;
    std::string reason;
    ASSERT_TRUE(held.verify(std::u16string(path.begin(), path.end()), reason)) << reason;

    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "opened for writing while held";
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(MoveFileExW(other.wstring().c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        << "replaced while held";
    EXPECT_FALSE(DeleteFileW(path.c_str())) << "deleted while held";

    const std::u16string& loadPath = held.loadPath();
    HMODULE library = LoadLibraryW(std::wstring(loadPath.begin(), loadPath.end()).c_str());
    ASSERT_NE(library, nullptr) << "the held file must still load";
    EXPECT_TRUE(held.isTheLoadedFile(library));
    held.release();
    FreeLibrary(library);
    EXPECT_TRUE(MoveFileExW(other.wstring().c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        << "released, it is an ordinary file again";
}

