// Windows: Authenticode signature of the publisher, on a chain that ends in a trusted root.
#include "bridge/CodeSignature.h"
#include "log/TextConv.h"

// clang-format off
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
// clang-format on

#include <memory>
#include <string>

namespace vantor {

namespace {

std::wstring wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

std::string certificateName(PCCERT_CONTEXT certificate, DWORD type, void* typeParameter) {
    wchar_t name[512] = {};
    CertGetNameStringW(certificate, type, 0, typeParameter, name, 512);
    std::u16string text(reinterpret_cast<const char16_t*>(name));
    return wideToNarrow(text);
}

bool namesPublisher(PCCERT_CONTEXT certificate) {
    char organisation[] = szOID_ORGANIZATION_NAME;
    char commonName[] = szOID_COMMON_NAME;
    return isEnginePublisher(certificateName(certificate, CERT_NAME_ATTR_TYPE, commonName),
                             certificateName(certificate, CERT_NAME_ATTR_TYPE, organisation));
}

} // namespace

bool sha256FileHex(const std::u16string& path, std::string& hex) {
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    Sha256 hash;
    std::unique_ptr<char[]> buffer(new char[65536]);
    DWORD got = 0;
    bool ok = true;
    while (true) {
        if (!ReadFile(file, buffer.get(), 65536, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        hash.update(buffer.get(), got);
    }
    CloseHandle(file);
    if (ok) hex = hash.finishHex();
    return ok;
}

bool VerifiedEngineFile::verify(const std::u16string& path, std::string& reason) {
    release();
    const std::wstring filePath = wide(path);
    // Held without write or delete sharing until the load: nobody can change, rename, delete or
    // replace the file between the check and LoadLibraryW, which may still open it for reading.
    HANDLE file = CreateFileW(filePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        char text[64];
        snprintf(text, sizeof(text), "cannot open the engine file: %lu", static_cast<unsigned long>(GetLastError()));
        reason = text;
        return false;
    }
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = filePath.c_str();
    fileInfo.hFile = file; // the check reads the held file
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;

    const LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    bool accepted = false;
    if (status != ERROR_SUCCESS) {
        char text[64];
        snprintf(text, sizeof(text), "WinVerifyTrust failed: 0x%08lx", static_cast<unsigned long>(status));
        reason = text;
    } else {
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer =
            provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        PCCERT_CHAIN_CONTEXT chain = signer ? signer->pChainContext : nullptr;
        if (!chain || chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) {
            reason = "no signer chain";
        } else if (chain->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR) {
            char text[64];
            snprintf(text, sizeof(text), "signer chain not trusted: 0x%lx",
                     static_cast<unsigned long>(chain->TrustStatus.dwErrorStatus));
            reason = text;
        } else if (!namesPublisher(chain->rgpChain[0]->rgpElement[0]->pCertContext)) {
            reason = std::string("the signer is not ") + kEnginePublisher;
        } else {
            accepted = true;
        }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    if (!accepted) {
        CloseHandle(file);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    loadPath_ = path;
    return true;
}

bool VerifiedEngineFile::isTheLoadedFile(void* library) const {
    return library != nullptr && handle_ != -1;
}

void VerifiedEngineFile::release() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
    loadPath_.clear();
}

} // namespace vantor
