#include "recording/FileIO.h"

#include "log/TextConv.h"

#include <windows.h>

#include <system_error>

namespace vantor {

std::string lastSystemError() {
    return std::system_category().message(static_cast<int>(GetLastError()));
}

namespace {

class Win32OutputFile : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE handle) : handle_(handle) {}
    ~Win32OutputFile() override { close(); }

    size_t write(const void* data, size_t n) override {
        const char* p = static_cast<const char*>(data);
        size_t done = 0;
        while (handle_ != INVALID_HANDLE_VALUE && done < n) {
            size_t left = n - done;
            DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!WriteFile(handle_, p + done, chunk, &written, nullptr) || written == 0) {
                failure_ = lastSystemError();
                break;
            }
            done += written;
        }
        return done;
    }

    bool seek(uint64_t position) override {
        if (handle_ == INVALID_HANDLE_VALUE) return false;
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(position);
        if (SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) return true;
        failure_ = lastSystemError();
        return false;
    }

    std::string failure() const override { return failure_; }

    bool close() override {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        BOOL ok = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return ok != 0;
    }

private:
    HANDLE handle_;
    std::string failure_;
};

} // namespace

std::unique_ptr<OutputFile> openPlatformOutputFile(const std::string& utf8Path, OpenMode mode,
                                                   bool* alreadyExists) {
    if (alreadyExists) *alreadyExists = false;
    std::u16string wide;
    if (!tryNarrowToWide(utf8Path, wide)) return nullptr; // never a file named after a marker
    HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(wide.c_str()), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           mode == OpenMode::CreateNew ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (alreadyExists && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)) *alreadyExists = true;
        return nullptr;
    }
    return std::make_unique<Win32OutputFile>(h);
}

} // namespace vantor
