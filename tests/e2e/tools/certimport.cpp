// qcertimport: trusts (or stops trusting) a code-signing certificate machine-wide, as an installer
// does for the engine component's publisher. Works on the LocalMachine "Root" store, which the
// engine's signature check walks its chain to.
//
//   qcertimport add    CERT   add the certificate (DER or PEM); an existing copy is replaced
//   qcertimport remove CERT   delete every copy of it; absent is not an error
//   qcertimport check  CERT   exit 0 when it is in the store, 1 when not
//
// Output is one "key: value" line per fact (UTF-8). Exit status: 0 done (or present), 1 failed (or
// absent), 2 usage or unreadable certificate.
#include <windows.h>
// clang-format off
#include <wincrypt.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

std::string subjectOf(PCCERT_CONTEXT certificate) {
    wchar_t name[512] = {};
    CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 512);
    return utf8(name);
}

// The certificate's DER bytes; PEM ("-----BEGIN CERTIFICATE-----") is decoded first.
bool readCertificate(const wchar_t* path, std::vector<BYTE>& der) {
    FILE* file = _wfopen(path, L"rb");
    if (!file) return false;
    std::vector<BYTE> raw;
    BYTE chunk[4096];
    size_t got = 0;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
        raw.insert(raw.end(), chunk, chunk + got);
    fclose(file);
    if (raw.empty() || raw.size() > (1u << 20)) return false;
    static const char kPem[] = "-----BEGIN";
    if (raw.size() > sizeof(kPem) && std::memcmp(raw.data(), kPem, sizeof(kPem) - 1) == 0) {
        DWORD size = 0;
        const char* text = reinterpret_cast<const char*>(raw.data());
        const DWORD length = static_cast<DWORD>(raw.size());
        if (!CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
            return false;
        der.resize(size);
        if (!CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                                  nullptr))
            return false;
        der.resize(size);
        return true;
    }
    der = std::move(raw);
    return true;
}

// The copy of `certificate` in `store`, found by its SHA-1 thumbprint, or null.
PCCERT_CONTEXT findIn(HCERTSTORE store, PCCERT_CONTEXT certificate) {
    BYTE thumb[20];
    DWORD size = sizeof(thumb);
    if (!CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, thumb, &size)) return nullptr;
    CRYPT_HASH_BLOB blob{size, thumb};
    return CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr);
}

int usage() {
    std::fputs("usage: qcertimport add|remove|check CERTIFICATE\n", stderr);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return usage();
    const std::wstring command = argv[1];
    if (command != L"add" && command != L"remove" && command != L"check") return usage();

    std::vector<BYTE> der;
    if (!readCertificate(argv[2], der)) {
        std::printf("error: cannot read a certificate from %s\n", utf8(argv[2]).c_str());
        return 2;
    }
    PCCERT_CONTEXT certificate =
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    if (!certificate) {
        std::printf("error: not a certificate (0x%08lx)\n", GetLastError());
        return 2;
    }
    std::printf("subject: %s\n", subjectOf(certificate).c_str());

    DWORD flags = CERT_SYSTEM_STORE_LOCAL_MACHINE;
    if (command == L"check") flags |= CERT_STORE_READONLY_FLAG;
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, flags, L"Root");
    if (!store) {
        std::printf("error: cannot open LocalMachine\\Root (0x%08lx)\n", GetLastError());
        CertFreeCertificateContext(certificate);
        return 1;
    }

    int status = 0;
    if (command == L"add") {
        if (CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                             static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                             nullptr)) {
            std::puts("trusted: yes");
        } else {
            std::printf("error: cannot add to LocalMachine\\Root (0x%08lx)\n", GetLastError());
            status = 1;
        }
    } else if (command == L"remove") {
        int removed = 0;
        // CertDeleteCertificateFromStore frees the context it is given, found or not.
        while (PCCERT_CONTEXT found = findIn(store, certificate)) {
            if (!CertDeleteCertificateFromStore(found)) {
                std::printf("error: cannot remove from LocalMachine\\Root (0x%08lx)\n", GetLastError());
                status = 1;
                break;
            }
            ++removed;
        }
        // Registry-backed stores may keep deletions pending until committed.
        if (removed && status == 0 && !CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr))
            std::printf("note: commit returned 0x%08lx\n", GetLastError());
        std::printf("removed: %d\n", removed);
        if (status == 0) std::puts("trusted: no");
    } else {
        PCCERT_CONTEXT found = findIn(store, certificate);
        std::printf("trusted: %s\n", found ? "yes" : "no");
        if (found)
            CertFreeCertificateContext(found);
        else
            status = 1;
    }
    CertCloseStore(store, 0);
    CertFreeCertificateContext(certificate);
    return status;
}
