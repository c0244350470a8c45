// qasiodriver.dll: a small ASIO driver for the end-to-end tests, a COM in-process server like a
// real one. `regsvr32 qasiodriver.dll` registers "Quorvel Test ASIO"; any other CLSID a test
// registers for this DLL under HKLM\SOFTWARE\ASIO\<name> is served too. Each driver reads its
// settings from its own HKLM\SOFTWARE\ASIO\<name> key (DWORDs unless noted):
//   Outputs (2), BufferMin (64), BufferMax (2048), BufferPreferred (512), Granularity (-1),
//   Rates (string, "44100 48000"), FailInit, RefuseStart, RefuseRate (a rate),
//   ResetAfterMs / SizeChangeAfterMs + SizeChangeTo: a reset request / a buffer-size change posted
//   that long after a start (the value is then deleted, so it happens once).
// Beside the DLL it keeps <name>.counts ("loads N", "panel N", "starts N") and <name>.wav: every
// output channel as 32-bit float, appended to across starts.
#include <windows.h>

#include "iasiodrv.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

HMODULE self = nullptr;
std::atomic<long> liveObjects{0};
constexpr wchar_t kClsidText[] = L"{5C7A1F42-3B9E-4D21-9A6E-510C2D77E319}";
constexpr wchar_t kName[] = L"Quorvel Test ASIO";
const std::wstring kAsioKey = L"SOFTWARE\\ASIO\\";

std::wstring modulePath() {
    wchar_t path[MAX_PATH];
    return std::wstring(path, GetModuleFileNameW(self, path, MAX_PATH));
}

std::wstring besideDll(const std::wstring& file) {
    const std::wstring path = modulePath();
    return path.substr(0, path.find_last_of(L'\\') + 1) + file;
}

DWORD dword(const std::wstring& key, const wchar_t* value, DWORD fallback) {
    DWORD data = 0, size = sizeof data;
    return RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) ? fallback
                                                                                                         : data;
}

// The ASIO key whose CLSID value names this object's class.
std::wstring keyNameOf(const CLSID& clsid) {
    HKEY root;
    std::wstring found;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ASIO", 0, KEY_READ, &root)) return found;
    wchar_t name[256], text[64];
    for (DWORD i = 0, n = 256; found.empty() && !RegEnumKeyExW(root, i, name, &n, 0, 0, 0, 0); ++i, n = 256) {
        DWORD size = sizeof text;
        CLSID listed;
        if (!RegGetValueW(root, name, L"CLSID", RRF_RT_REG_SZ, nullptr, text, &size) &&
            CLSIDFromString(text, &listed) == NOERROR && IsEqualCLSID(listed, clsid))
            found = name;
    }
    RegCloseKey(root);
    return found;
}

struct Settings {
    std::wstring name, key;
    long outputs, minSize, maxSize, preferred, granularity;
    std::vector<double> rates;
    explicit Settings(const CLSID& clsid) : name(keyNameOf(clsid)), key(kAsioKey + name) {
        outputs = static_cast<long>(dword(key, L"Outputs", 2));
        minSize = static_cast<long>(dword(key, L"BufferMin", 64));
        maxSize = static_cast<long>(dword(key, L"BufferMax", 2048));
        preferred = static_cast<long>(dword(key, L"BufferPreferred", 512));
        granularity = static_cast<long>(dword(key, L"Granularity", static_cast<DWORD>(-1)));
        wchar_t text[256] = L"44100 48000";
        DWORD size = sizeof text;
        RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Rates", RRF_RT_REG_SZ, nullptr, text, &size);
        for (wchar_t *at = text, *end = nullptr;; at = end) {
            const double rate = wcstod(at, &end);
            if (end == at) break;
            rates.push_back(rate);
        }
    }
    // A one-time instruction: read and delete.
    DWORD take(const wchar_t* value) const {
        const DWORD data = dword(key, value, 0);
        if (data) RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), value);
        return data;
    }
};

void count(const std::wstring& name, const char* what) {
    const std::wstring path = besideDll(name + L".counts");
    long loads = 0, panel = 0, starts = 0;
    if (FILE* in = _wfopen(path.c_str(), L"rb")) {
        std::fscanf(in, "loads %ld panel %ld starts %ld", &loads, &panel, &starts);
        std::fclose(in);
    }
    long& counter = what[0] == 'l' ? loads : what[0] == 'p' ? panel : starts;
    ++counter;
    if (FILE* out = _wfopen(path.c_str(), L"wb")) {
        std::fprintf(out, "loads %ld\npanel %ld\nstarts %ld\n", loads, panel, starts);
        std::fclose(out);
    }
}

class Driver final : public IASIO {
public:
    explicit Driver(const CLSID& clsid) : clsid_(clsid), settings_(clsid) {
        ++liveObjects;
        count(settings_.name, "loads");
    }
    ~Driver() {
        disposeBuffers();
        --liveObjects;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (!IsEqualIID(iid, clsid_) && !IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
        AddRef();
        *out = static_cast<IASIO*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    ASIOBool init(void*) override {
        if (dword(settings_.key, L"FailInit", 0)) return ASIOFalse;
        return settings_.name.empty() ? ASIOFalse : ASIOTrue;
    }
    void getDriverName(char* name) override {
        WideCharToMultiByte(CP_UTF8, 0, settings_.name.c_str(), -1, name, 32, nullptr, nullptr);
        name[31] = '\0';
    }
    long getDriverVersion() override { return 1; }
    void getErrorMessage(char* text) override { std::snprintf(text, 124, "%s", "told to fail (FailInit)"); }
    ASIOError start() override {
        if (!callbacks_ || running_) return ASE_InvalidMode;
        if (dword(settings_.key, L"RefuseStart", 0)) return ASE_HWMalfunction;
        count(settings_.name, "starts");
        openWav();
        running_ = true;
        thread_ = std::thread([this] { run(); });
        return ASE_OK;
    }
    ASIOError stop() override {
        running_ = false;
        if (thread_.joinable()) thread_.join();
        if (wav_ != INVALID_HANDLE_VALUE) CloseHandle(wav_);
        wav_ = INVALID_HANDLE_VALUE;
        return ASE_OK;
    }
    ASIOError getChannels(long* inputs, long* outputs) override {
        *inputs = 0;
        *outputs = settings_.outputs;
        return ASE_OK;
    }
    ASIOError getLatencies(long* input, long* output) override {
        *input = 0;
        *output = size_ ? size_ : settings_.preferred;
        return ASE_OK;
    }
    ASIOError getBufferSize(long* minimum, long* maximum, long* preferred, long* granularity) override {
        *minimum = settings_.minSize, *maximum = settings_.maxSize;
        *preferred = settings_.preferred, *granularity = settings_.granularity;
        return ASE_OK;
    }
    ASIOError canSampleRate(ASIOSampleRate rate) override {
        for (double r : settings_.rates)
            if (r == rate) return ASE_OK;
        return ASE_NoClock;
    }
    ASIOError getSampleRate(ASIOSampleRate* rate) override {
        *rate = rate_;
        return ASE_OK;
    }
    ASIOError setSampleRate(ASIOSampleRate rate) override {
        if (canSampleRate(rate) != ASE_OK || rate == dword(settings_.key, L"RefuseRate", 0)) return ASE_NoClock;
        rate_ = rate;
        return ASE_OK;
    }
    ASIOError getClockSources(ASIOClockSource* clocks, long* count) override {
        clocks[0] = ASIOClockSource{0, -1, -1, ASIOTrue, "Internal"};
        *count = 1;
        return ASE_OK;
    }
    ASIOError setClockSource(long) override { return ASE_OK; }
    ASIOError getSamplePosition(ASIOSamples* position, ASIOTimeStamp* stamp) override {
        const unsigned long long frames = frames_, ns = GetTickCount64() * 1000000ull;
        *position = ASIOSamples{static_cast<unsigned long>(frames >> 32), static_cast<unsigned long>(frames)};
        *stamp = ASIOTimeStamp{static_cast<unsigned long>(ns >> 32), static_cast<unsigned long>(ns)};
        return ASE_OK;
    }
    ASIOError getChannelInfo(ASIOChannelInfo* info) override {
        if (info->isInput || info->channel < 0 || info->channel >= settings_.outputs) return ASE_InvalidParameter;
        info->isActive = buffers_.empty() ? ASIOFalse : ASIOTrue;
        info->channelGroup = 0;
        info->type = ASIOSTFloat32LSB;
        std::snprintf(info->name, sizeof info->name, "Out %ld", info->channel + 1);
        return ASE_OK;
    }
    ASIOError createBuffers(ASIOBufferInfo* infos, long channels, long size, ASIOCallbacks* callbacks) override {
        if (!callbacks || size < 1 || !buffers_.empty()) return ASE_InvalidMode;
        buffers_.assign(static_cast<size_t>(settings_.outputs), std::vector<float>());
        for (long i = 0; i < channels; ++i) {
            if (infos[i].isInput || infos[i].channelNum < 0 || infos[i].channelNum >= settings_.outputs)
                return disposeBuffers(), ASE_InvalidParameter;
            std::vector<float>& both = buffers_[static_cast<size_t>(infos[i].channelNum)];
            both.assign(2 * static_cast<size_t>(size), 0.0f);
            infos[i].buffers[0] = both.data();
            infos[i].buffers[1] = both.data() + size;
        }
        size_ = size;
        callbacks_ = callbacks;
        return ASE_OK;
    }
    ASIOError disposeBuffers() override {
        stop();
        buffers_.clear();
        callbacks_ = nullptr;
        return ASE_OK;
    }
    ASIOError controlPanel() override {
        count(settings_.name, "panel");
        return ASE_OK;
    }
    ASIOError future(long, void*) override { return ASE_NotPresent; }
    ASIOError outputReady() override { return ASE_NotPresent; }

private:
    // The driver's clock: one block per block duration, each handed to the host and then recorded.
    void run() {
        const long resetAfter = static_cast<long>(settings_.take(L"ResetAfterMs"));
        const long sizeAfter = static_cast<long>(settings_.take(L"SizeChangeAfterMs"));
        const auto block = std::chrono::duration<double>(size_ / rate_);
        const auto begin = std::chrono::steady_clock::now();
        auto next = begin;
        for (long index = 0; running_; index ^= 1) {
            next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(block);
            std::this_thread::sleep_until(next);
            callbacks_->bufferSwitch(index, ASIOTrue);
            record(index);
            frames_ += static_cast<unsigned long long>(size_);
            const long elapsed = static_cast<long>((next - begin) / std::chrono::milliseconds(1));
            if (resetAfter && elapsed >= resetAfter && !posted_) {
                posted_ = true;
                callbacks_->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
            }
            if (sizeAfter && elapsed >= sizeAfter && !posted_) {
                posted_ = true;
                const long to = static_cast<long>(dword(settings_.key, L"SizeChangeTo", 256));
                if (!callbacks_->asioMessage(kAsioBufferSizeChange, to, nullptr, nullptr))
                    callbacks_->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
            }
        }
    }

    void openWav() {
        wav_ = CreateFileW(besideDll(settings_.name + L".wav").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (wav_ == INVALID_HANDLE_VALUE || GetFileSize(wav_, nullptr) >= 44) return;
        const unsigned short channels = static_cast<unsigned short>(settings_.outputs), bits = 32, format = 3;
        const unsigned long rate = static_cast<unsigned long>(rate_), fmtSize = 16, zero = 0;
        const unsigned long bytesPerSecond = rate * channels * 4;
        const unsigned short align = static_cast<unsigned short>(channels * 4);
        std::string h = "RIFF....WAVEfmt ";
        const auto put = [&h](const void* p, size_t n) { h.append(static_cast<const char*>(p), n); };
        put(&fmtSize, 4), put(&format, 2), put(&channels, 2), put(&rate, 4), put(&bytesPerSecond, 4), put(&align, 2);
        put(&bits, 2), h += "data", put(&zero, 4);
        DWORD done = 0;
        WriteFile(wav_, h.data(), static_cast<DWORD>(h.size()), &done, nullptr);
    }

    // Appends the block the host just filled and brings the header's sizes up to date.
    void record(long index) {
        if (wav_ == INVALID_HANDLE_VALUE) return;
        std::vector<float> frames(static_cast<size_t>(size_ * settings_.outputs), 0.0f);
        for (size_t c = 0; c < buffers_.size(); ++c)
            for (long f = 0; !buffers_[c].empty() && f < size_; ++f)
                frames[static_cast<size_t>(f) * buffers_.size() + c] = buffers_[c][static_cast<size_t>(index * size_ + f)];
        DWORD done = 0;
        SetFilePointer(wav_, 0, nullptr, FILE_END);
        WriteFile(wav_, frames.data(), static_cast<DWORD>(frames.size() * sizeof(float)), &done, nullptr);
        const DWORD total = GetFileSize(wav_, nullptr), riff = total - 8, data = total - 44;
        SetFilePointer(wav_, 4, nullptr, FILE_BEGIN);
        WriteFile(wav_, &riff, 4, &done, nullptr);
        SetFilePointer(wav_, 40, nullptr, FILE_BEGIN);
        WriteFile(wav_, &data, 4, &done, nullptr);
    }

    const CLSID clsid_;
    Settings settings_;
    std::atomic<ULONG> references_{1};
    double rate_ = 48000.0;
    long size_ = 0;
    ASIOCallbacks* callbacks_ = nullptr;
    std::vector<std::vector<float>> buffers_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::atomic<unsigned long long> frames_{0};
    bool posted_ = false;
    HANDLE wav_ = INVALID_HANDLE_VALUE;
};

class Factory final : public IClassFactory {
public:
    explicit Factory(const CLSID& clsid) : clsid_(clsid) { ++liveObjects; }
    ~Factory() { --liveObjects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IClassFactory) && !IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
        AddRef();
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        Driver* driver = new Driver(clsid_);
        const HRESULT result = driver->QueryInterface(iid, out);
        driver->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++liveObjects : --liveObjects;
        return S_OK;
    }

private:
    const CLSID clsid_;
    std::atomic<ULONG> references_{1};
};

bool setString(HKEY root, const std::wstring& key, const wchar_t* value, const std::wstring& data) {
    return !RegSetKeyValueW(root, key.c_str(), value, REG_SZ, data.c_str(),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    Factory* factory = new Factory(clsid);
    const HRESULT result = factory->QueryInterface(iid, out);
    factory->Release();
    return result;
}

HRESULT __stdcall DllCanUnloadNow() {
    return liveObjects == 0 ? S_OK : S_FALSE;
}

// What a real driver's installer does: the COM class, then the ASIO entry hosts enumerate.
HRESULT __stdcall DllRegisterServer() {
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    const bool ok = setString(HKEY_CLASSES_ROOT, clsidKey, nullptr, kName) &&
                    setString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr, modulePath()) &&
                    setString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                    setString(HKEY_LOCAL_MACHINE, kAsioKey + kName, L"CLSID", kClsidText) &&
                    setString(HKEY_LOCAL_MACHINE, kAsioKey + kName, L"Description", kName);
    return ok ? S_OK : E_FAIL;
}

HRESULT __stdcall DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kAsioKey + kName).c_str());
    return S_OK;
}

} // extern "C"
