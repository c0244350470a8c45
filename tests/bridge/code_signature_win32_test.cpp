// The Windows signature check on the build's signed engine component: files without a valid
// signature are refused, and a signature whose root is not trusted is refused even where
// WinVerifyTrust itself lets it pass.
#include "bridge/CodeSignature.h"
#include "log/TextConv.h"
#include "support/FileBytes.h"

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <filesystem>
#include <string>

using namespace vantor;
namespace fs = std::filesystem;

namespace {

std::u16string wide(const fs::path& path) {
    const std::wstring text = path.wstring();
    return std::u16string(text.begin(), text.end());
}

fs::path ownProgram() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path);
}

} // namespace

TEST(CodeSignatureWin32, UnsignedMissingAndTamperedFilesAreRefused) {
    std::string reason;
    EXPECT_FALSE(verifyEngineSignature(wide(ownProgram()), reason)) << "the unsigned test program";
    EXPECT_FALSE(reason.empty());
    reason.clear();
    EXPECT_FALSE(verifyEngineSignature(u"C:\\nonexistent\\Brevian.dll", reason));
    EXPECT_FALSE(reason.empty());

#if defined(QUORVEL_SIGNED_ENGINE)
    const fs::path signedEngine = QUORVEL_SIGNED_ENGINE;
    ASSERT_TRUE(fs::exists(signedEngine)) << signedEngine.string();
    const fs::path copy = fs::temp_directory_path() / "Brevian-tampered.dll";
    fs::copy_file(signedEngine, copy, fs::copy_options::overwrite_existing);
    test::flipByte(copy, 1024); // one byte of the code changed after signing
    reason.clear();
    EXPECT_FALSE(verifyEngineSignature(wide(copy), reason));
    EXPECT_FALSE(reason.empty());
    std::error_code ignored;
    fs::remove(copy, ignored);
#endif
}

#if defined(QUORVEL_SIGNED_ENGINE)
TEST(CodeSignatureWin32, ASignedComponentIsAcceptedOnlyWithItsRootTrusted) {
    std::string reason;
    const bool accepted = verifyEngineSignature(wide(QUORVEL_SIGNED_ENGINE), reason);
    // The test's own prefix may or may not trust the build's certificate; the answer must match
    // what the Root store says, never a pass on an untrusted chain.
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                    CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, L"Root");
    bool vantorTrusted = false;
    if (root) {
        PCCERT_CONTEXT cert = nullptr;
        while ((cert = CertEnumCertificatesInStore(root, cert)) != nullptr) {
            wchar_t name[256] = {};
            CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256);
            if (std::wstring(name).find(L"Vantor") != std::wstring::npos) vantorTrusted = true;
        }
        CertCloseStore(root, 0);
    }
    EXPECT_EQ(accepted, vantorTrusted) << reason;
    if (!vantorTrusted) {
        EXPECT_NE(reason.find("not trusted"), std::string::npos) << reason;
    }
}
#endif
