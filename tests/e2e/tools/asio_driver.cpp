// qasiodriver.dll: a small ASIO driver for the end-to-end tests, a COM in-process server like a
// real one. `regsvr32 qasiodriver.dll` registers "Quorvel Test ASIO"; any other CLSID registered for
// this DLL is served too, under its class's name. A driver reads HKLM\SOFTWARE\ASIO\<name>
// (DWORDs): Outputs (2), BufferMin (64), BufferMax (2048), BufferPreferred (512), Granularity (-1),
// Rates (a string, "44100 48000"), FailInit, RefuseStart, RefuseRate (a rate), and the one-time
// ResetAfterMs / SizeChangeAfterMs + SizeChangeTo (a reset request / a new buffer size posted that
// long after a start; deleted when read). Beside the DLL it appends a line per load, control-panel
// call and start to <name>.counts, and every output channel, as 32-bit float, to <name>.wav (its
// header's sizes are left 0: "to the end of the file").
#include <windows.h>

#include "iasiodrv.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

HMODULE self = nullptr;
constexpr wchar_t kClsid[] = L"{5C7A1F42-3B9E-4D21-9A6E-510C2D77E319}";
constexpr wchar_t kName[] = L"Quorvel Test ASIO";
const std::wstring kAsio = L"SOFTWARE\\ASIO\\";

std::wstring modulePath() {
    wchar_t path[MAX_PATH];
    return std::wstring(path, GetModuleFileNameW(self, path, MAX_PATH));
}
std::wstring besideDll(const std::wstring& file) {
    return modulePath().erase(modulePath().find_last_of(L'\\') + 1) + file;
}
DWORD dword(const std::wstring& key, const wchar_t* value, DWORD fallback) {
    DWORD data = 0, size = sizeof data;
    return RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size)
               ? fallback
               : data;
}
// The driver's name: its COM class's name, as registration writes it.
std::wstring nameOf(const CLSID& clsid) {
    wchar_t id[64], name[256];
    DWORD size = sizeof name;
    StringFromGUID2(clsid, id, 64);
    const std::wstring key = std::wstring(L"CLSID\\") + id;
    return RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, name, &size) ? L""
                                                                                                      : name;
}

template <class Interface> struct Unknown : Interface {
    virtual ~Unknown() = default;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT answer(bool known, void** out) {
        *out = known ? this : nullptr;
        return known ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    std::atomic<ULONG> references{1};
};

// A new object handed out as the interface asked for (or none), as COM's creation calls do.
template <class Object> HRESULT handOut(Object* object, REFIID iid, void** out) {
    const HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
}

class Driver final : public Unknown<IASIO> {
public:
    explicit Driver(const CLSID& clsid) : clsid_(clsid), name_(nameOf(clsid)), key_(kAsio + name_) {
        note("load");
    }
    ~Driver() override { disposeBuffers(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(IsEqualIID(iid, clsid_) || IsEqualIID(iid, IID_IUnknown), out);
    }
    ASIOBool init(void*) override { return !name_.empty() && !get(L"FailInit", 0); }
    void getDriverName(char* name) override { std::snprintf(name, 32, "%ls", name_.c_str()); }
    long getDriverVersion() override { return 1; }
    void getErrorMessage(char* text) override { std::snprintf(text, 124, "told to fail"); }
    ASIOError start() override {
        if (!callbacks_ || running_) return ASE_InvalidMode;
        if (get(L"RefuseStart", 0)) return ASE_HWMalfunction;
        note("start");
        const std::wstring wav = besideDll(name_ + L".wav");
        const bool fresh = GetFileAttributesW(wav.c_str()) == INVALID_FILE_ATTRIBUTES;
        if ((wav_ = _wfopen(wav.c_str(), L"ab")) && fresh) writeHeader();
        running_ = true;
        thread_ = std::thread([this] { run(); });
        return ASE_OK;
    }
    ASIOError stop() override {
        running_ = false;
        if (thread_.joinable()) thread_.join();
        if (wav_) std::fclose(wav_);
        wav_ = nullptr;
        return ASE_OK;
    }
    ASIOError getChannels(long* in, long* out) override { return *in = 0, *out = get(L"Outputs", 2), ASE_OK; }
    ASIOError getLatencies(long* in, long* out) override { return *in = 0, *out = size_, ASE_OK; }
    ASIOError getBufferSize(long* minimum, long* maximum, long* preferred, long* granularity) override {
        *minimum = get(L"BufferMin", 64), *maximum = get(L"BufferMax", 2048);
        return *preferred = get(L"BufferPreferred", 512), *granularity = get(L"Granularity", -1), ASE_OK;
    }
    ASIOError canSampleRate(ASIOSampleRate rate) override {
        wchar_t text[256] = L"44100 48000";
        DWORD size = sizeof text;
        RegGetValueW(HKEY_LOCAL_MACHINE, key_.c_str(), L"Rates", RRF_RT_REG_SZ, nullptr, text, &size);
        for (wchar_t *at = text, *end;; at = end) {
            const double listed = wcstod(at, &end);
            if (end == at) return ASE_NoClock;
            if (listed == rate) return ASE_OK;
        }
    }
    ASIOError getSampleRate(ASIOSampleRate* rate) override { return *rate = rate_, ASE_OK; }
    ASIOError setSampleRate(ASIOSampleRate rate) override {
        if (canSampleRate(rate) != ASE_OK || rate == get(L"RefuseRate", 0)) return ASE_NoClock;
        return rate_ = rate, ASE_OK;
    }
    // No clock sources or sample position to tell: a host then goes without them.
    ASIOError getClockSources(ASIOClockSource*, long*) override { return ASE_NotPresent; }
    ASIOError setClockSource(long) override { return ASE_NotPresent; }
    ASIOError getSamplePosition(ASIOSamples*, ASIOTimeStamp*) override { return ASE_SPNotAdvancing; }
    ASIOError getChannelInfo(ASIOChannelInfo* info) override {
        if (info->isInput || info->channel < 0 || info->channel >= get(L"Outputs", 2))
            return ASE_InvalidParameter;
        info->isActive = !buffers_.empty(), info->channelGroup = 0, info->type = ASIOSTFloat32LSB;
        return std::snprintf(info->name, 32, "Out %ld", info->channel + 1), ASE_OK;
    }
    ASIOError createBuffers(ASIOBufferInfo* infos, long channels, long size,
                            ASIOCallbacks* callbacks) override {
        buffers_.assign(static_cast<size_t>(get(L"Outputs", 2)), std::vector<float>());
        for (long i = 0; i < channels; ++i) {
            if (infos[i].isInput || infos[i].channelNum < 0 || infos[i].channelNum >= get(L"Outputs", 2) ||
                size < 1)
                return disposeBuffers(), ASE_InvalidParameter;
            std::vector<float>& both = buffers_[static_cast<size_t>(infos[i].channelNum)];
            both.assign(2 * static_cast<size_t>(size), 0.0f);
            infos[i].buffers[0] = both.data(), infos[i].buffers[1] = both.data() + size;
        }
        return size_ = size, callbacks_ = callbacks, ASE_OK;
    }
    ASIOError disposeBuffers() override { return stop(), buffers_.clear(), callbacks_ = nullptr, ASE_OK; }
    ASIOError controlPanel() override { return note("panel"), ASE_OK; }
    ASIOError future(long, void*) override { return ASE_NotPresent; }
    ASIOError outputReady() override { return ASE_NotPresent; }

private:
    long get(const wchar_t* value, long fallback) const {
        return static_cast<long>(dword(key_, value, static_cast<DWORD>(fallback)));
    }
    long take(const wchar_t* value) const { // a one-time instruction
        const long data = get(value, 0);
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key_.c_str(), value);
        return data;
    }
    void note(const char* what) const {
        if (FILE* file = _wfopen(besideDll(name_ + L".counts").c_str(), L"ab"))
            std::fprintf(file, "%s\n", what), std::fclose(file);
    }
    void writeHeader() { // RIFF/WAVE, format 3 (float), 32 bits
        const uint16_t channels = static_cast<uint16_t>(buffers_.size()), align = channels * 4u;
        const uint32_t rate = static_cast<uint32_t>(rate_),
                       fields[] = {16, 3u | channels << 16, rate, rate * align, align | 32u << 16};
        std::fwrite("RIFF\0\0\0\0WAVEfmt ", 1, 16, wav_);
        std::fwrite(fields, 4, 5, wav_);
        std::fwrite("data\0\0\0\0", 1, 8, wav_);
    }
    // Appends the half the host just filled, frames interleaved.
    void record(long half) {
        std::vector<float> frames(static_cast<size_t>(size_) * buffers_.size(), 0.0f);
        for (size_t c = 0; c < buffers_.size(); ++c)
            for (size_t f = 0; !buffers_[c].empty() && f < static_cast<size_t>(size_); ++f)
                frames[f * buffers_.size() + c] = buffers_[c][static_cast<size_t>(half * size_) + f];
        std::fwrite(frames.data(), sizeof(float), frames.size(), wav_);
        std::fflush(wav_);
    }
    // The driver's clock: a block per block duration, handed to the host, then recorded.
    void run() {
        const long resetAfter = take(L"ResetAfterMs"), sizeAfter = take(L"SizeChangeAfterMs");
        const auto begin = std::chrono::steady_clock::now();
        const auto block = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(size_ / rate_));
        auto next = begin;
        for (long half = 0; running_; half ^= 1) {
            std::this_thread::sleep_until(next += block);
            callbacks_->bufferSwitch(half, ASIOTrue);
            if (wav_) record(half);
            const auto elapsed = (next - begin) / std::chrono::milliseconds(1);
            if (resetAfter && elapsed >= resetAfter && !posted_++)
                callbacks_->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
            // A host that does not take the new size as it is gets a reset request instead.
            if (sizeAfter && elapsed >= sizeAfter && !posted_++ &&
                !callbacks_->asioMessage(kAsioBufferSizeChange, get(L"SizeChangeTo", 256), nullptr, nullptr))
                callbacks_->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
        }
    }

    const CLSID clsid_;
    const std::wstring name_, key_;
    double rate_ = 48000.0;
    long size_ = 0;
    ASIOCallbacks* callbacks_ = nullptr;
    std::vector<std::vector<float>> buffers_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    int posted_ = 0;
    FILE* wav_ = nullptr;
};

class Factory final : public Unknown<IClassFactory> {
public:
    explicit Factory(const CLSID& clsid) : clsid_(clsid) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(IsEqualIID(iid, IID_IClassFactory) || IsEqualIID(iid, IID_IUnknown), out);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return outer ? CLASS_E_NOAGGREGATION : handOut(new Driver(clsid_), iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    const CLSID clsid_;
};

bool setString(HKEY root, const std::wstring& key, const wchar_t* value, const std::wstring& data) {
    return !RegSetKeyValueW(root, key.c_str(), value, REG_SZ, data.c_str(),
                            static_cast<DWORD>((data.size() + 1) * 2));
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

__declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return handOut(new Factory(clsid), iid, out);
}

// What a real driver's installer does: the COM class, then the ASIO entry hosts enumerate.
__declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    const std::wstring clsid = std::wstring(L"CLSID\\") + kClsid, server = clsid + L"\\InprocServer32";
    const bool ok = setString(HKEY_CLASSES_ROOT, clsid, nullptr, kName) &&
                    setString(HKEY_CLASSES_ROOT, server, nullptr, modulePath()) &&
                    setString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Apartment") &&
                    setString(HKEY_LOCAL_MACHINE, kAsio + kName, L"CLSID", kClsid) &&
                    setString(HKEY_LOCAL_MACHINE, kAsio + kName, L"Description", kName);
    return ok ? S_OK : E_FAIL;
}

} // extern "C"
