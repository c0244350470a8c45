// The small C layer between the audio library's ASIO host API and the driver object: the list of
// installed drivers (registry, exclusion list, CoCreateInstance) and the ASIO* calls on the one
// loaded driver. It also sits in the driver's message path, so a reset request, a new buffer size
// or a new sample rate reaches the host (AsioLayer.h) besides the library, which ignores them.
//
// Threads: everything but the two message forwarders runs on the thread that calls into the audio
// library (the host's opcode thread); the forwarders run on the driver's thread and only read
// atomics.
#include "asio/AsioExclusion.h"
#include "asio/AsioLayer.h"

#include <windows.h>

#include "asiodrivers.h"
#include "iasiodrv.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

AsioDrivers* asioDrivers = nullptr;

namespace {

using vantor::asio::DriverEvent;

constexpr size_t kListedNameBytes = 32; // what the library gives each name (with its terminator)
constexpr DWORD kMaxExclusionFileBytes = 1 << 20;

struct Driver {
    std::string name; // UTF-8: the description, else the registry key's name
    CLSID clsid;
};

std::vector<Driver> installed;
IASIO* loaded = nullptr;
std::string loadedName;
bool initialised = false;

std::atomic<vantor::asio::LogHook> logHook{nullptr};
std::atomic<vantor::asio::EventHook> eventHook{nullptr};

// The library's callbacks for the current buffers, and the set the driver gets in their place.
std::atomic<ASIOCallbacks*> hostCallbacks{nullptr};
ASIOCallbacks forwarding{};

template <class... Parts> void report(char severity, const Parts&... parts) {
    vantor::asio::LogHook hook = logHook.load();
    if (!hook) return;
    std::string text;
    (text.append(parts), ...);
    hook(severity, text.c_str());
}

std::string utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();
    return out;
}

// The name as the library holds it: at most 31 bytes, never ending inside a UTF-8 sequence.
std::string listedName(const std::string& name) {
    if (name.size() < kListedNameBytes) return name;
    size_t end = kListedNameBytes - 1;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

std::wstring stringValue(HKEY key, const wchar_t* value) {
    wchar_t data[512] = {};
    DWORD size = sizeof data - sizeof data[0];
    if (RegGetValueW(key, nullptr, value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return {};
    return data;
}

std::vector<std::string> readExclusionFile() {
    wchar_t path[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    if (n == 0 || n >= std::size(path)) return {};
    std::wstring file(path, n);
    file.erase(file.find_last_of(L"\\/") + 1);
    for (const char* c = vantor::asio::kExclusionFileName; *c; ++c)
        file += static_cast<wchar_t>(*c);
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // No list: only the fixed names are left out. A list that is there but unreadable is worth a word.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            report('E', "ASIO: cannot open ", utf8(file.c_str()), " (error ", std::to_string(error),
                   "): the drivers it names are not left out");
        return {};
    }
    std::string text(kMaxExclusionFileBytes, '\0');
    DWORD got = 0;
    const BOOL ok = ReadFile(handle, text.data(), kMaxExclusionFileBytes, &got, nullptr);
    CloseHandle(handle);
    if (!ok) {
        report('E', "ASIO: cannot read ", utf8(file.c_str()), ": the drivers it names are not left out");
        return {};
    }
    if (got == kMaxExclusionFileBytes)
        report('W', "ASIO: only the first MiB of ", utf8(file.c_str()), " is read");
    text.resize(got);
    std::vector<std::string> names = vantor::asio::parseExclusionList(text);
    report('I', "ASIO: ", std::to_string(names.size()), " driver name(s) excluded by ", utf8(file.c_str()));
    return names;
}

void listInstalledDrivers() {
    installed.clear();
    HKEY root = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ASIO", 0, KEY_READ, &root) != ERROR_SUCCESS) return;
    const std::vector<std::string> excluded = readExclusionFile();
    for (DWORD i = 0;; ++i) {
        wchar_t keyName[256];
        DWORD length = static_cast<DWORD>(std::size(keyName));
        const LSTATUS status = RegEnumKeyExW(root, i, keyName, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        const std::wstring clsidText = stringValue(key, L"CLSID");
        const std::wstring description = stringValue(key, L"Description");
        RegCloseKey(key);
        const std::string keyText = utf8(keyName);
        Driver driver{utf8(description.empty() ? keyName : description.c_str()), {}};
        const auto excludedBy = [&](const std::string& name) {
            return vantor::asio::exclusionOf(name, excluded);
        };
        vantor::asio::Exclusion why = excludedBy(driver.name);
        if (why == vantor::asio::Exclusion::None) why = excludedBy(keyText);
        if (why == vantor::asio::Exclusion::Listed) {
            report('W', "ASIO driver \"", driver.name, "\" skipped: it is named in asioblacklist.txt");
        } else if (why == vantor::asio::Exclusion::Fixed) {
            report('W', "ASIO driver \"", driver.name, "\" skipped: a driver that is never loaded");
        } else if (clsidText.empty() || CLSIDFromString(clsidText.c_str(), &driver.clsid) != NOERROR) {
            report('E', "ASIO driver \"", driver.name, "\" skipped: its registry key has no valid CLSID");
        } else {
            installed.push_back(std::move(driver));
        }
    }
    RegCloseKey(root);
}

void notify(DriverEvent event, double value) {
    if (vantor::asio::EventHook hook = eventHook.load()) hook(event, value);
}

void forwardRateChange(ASIOSampleRate rate) {
    if (ASIOCallbacks* host = hostCallbacks.load()) host->sampleRateDidChange(rate);
    notify(DriverEvent::SampleRateChange, rate);
}

long forwardMessage(long selector, long value, void* message, double* opt) {
    ASIOCallbacks* host = hostCallbacks.load();
    const long answer = host ? host->asioMessage(selector, value, message, opt) : 0;
    const bool handled = eventHook.load() != nullptr;
    switch (selector) {
    case kAsioSelectorSupported:
        // With a host to tell, a new buffer size is taken as it comes instead of as a reset.
        return value == kAsioBufferSizeChange && handled ? 1 : answer;
    case kAsioResetRequest:
        notify(DriverEvent::ResetRequest, 0.0);
        return 1;
    case kAsioBufferSizeChange:
        notify(DriverEvent::BufferSizeChange, static_cast<double>(value));
        return handled ? 1 : answer;
    default:
        return answer;
    }
}

void copyText(char* to, size_t size, const char* from) {
    std::snprintf(to, size, "%s", from);
}

void unload() {
    if (loaded) loaded->Release();
    loaded = nullptr;
    initialised = false;
    hostCallbacks.store(nullptr);
}

// The loaded, initialised driver, or null.
IASIO* ready() {
    return loaded && initialised ? loaded : nullptr;
}

template <class Call> ASIOError forward(Call call) {
    IASIO* driver = ready();
    if (!driver) return ASE_NotPresent;
    return call(*driver);
}

} // namespace

namespace vantor::asio {

void setHooks(LogHook logger, EventHook event) {
    logHook.store(logger);
    eventHook.store(event);
}

} // namespace vantor::asio

AsioDrivers::AsioDrivers() {
    listInstalledDrivers();
}

AsioDrivers::~AsioDrivers() {
    removeCurrentDriver();
    installed.clear();
}

long AsioDrivers::asioGetNumDev() {
    return static_cast<long>(installed.size());
}

long AsioDrivers::getDriverNames(char** names, long maxDrivers) {
    long copied = 0;
    for (; names && copied < maxDrivers && static_cast<size_t>(copied) < installed.size(); ++copied)
        copyText(names[copied], kListedNameBytes,
                 listedName(installed[static_cast<size_t>(copied)].name).c_str());
    return copied;
}

bool AsioDrivers::loadDriver(char* name) {
    removeCurrentDriver();
    if (!name) return false;
    for (const Driver& driver : installed) {
        if (listedName(driver.name) != name) continue;
        void* object = nullptr;
        const HRESULT result =
            CoCreateInstance(driver.clsid, nullptr, CLSCTX_INPROC_SERVER, driver.clsid, &object);
        if (FAILED(result) || !object) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(result));
            report('E', "ASIO driver \"", driver.name, "\" cannot be created (", code, ")");
            return false;
        }
        loaded = static_cast<IASIO*>(object);
        loadedName = driver.name;
        return true;
    }
    return false;
}

void AsioDrivers::removeCurrentDriver() {
    unload();
}

ASIOError ASIOInit(ASIODriverInfo* info) {
    if (!info) return ASE_InvalidParameter;
    if (!loaded) {
        copyText(info->errorMessage, sizeof info->errorMessage, "No ASIO driver is loaded");
        return ASE_NotPresent;
    }
    // Drivers have written past the documented lengths: give them room, then copy what fits.
    char text[512] = {};
    if (!initialised && !loaded->init(info->sysRef)) {
        loaded->getErrorMessage(text);
        text[sizeof text - 1] = '\0';
        copyText(info->errorMessage, sizeof info->errorMessage, text[0] ? text : "no reason given");
        report('W', "ASIO driver \"", loadedName, "\" failed to initialise: ", info->errorMessage);
        // A driver that refused is not kept loaded until the next one is chosen.
        unload();
        return ASE_NotPresent;
    }
    initialised = true;
    info->driverVersion = loaded->getDriverVersion();
    loaded->getDriverName(text);
    text[sizeof text - 1] = '\0';
    copyText(info->name, sizeof info->name, text);
    info->errorMessage[0] = '\0';
    return ASE_OK;
}

ASIOError ASIOExit(void) {
    unload();
    return ASE_OK;
}

ASIOError ASIOStart(void) {
    return forward([](IASIO& d) { return d.start(); });
}
ASIOError ASIOStop(void) {
    return forward([](IASIO& d) { return d.stop(); });
}
ASIOError ASIOGetChannels(long* inputs, long* outputs) {
    return forward([&](IASIO& d) { return d.getChannels(inputs, outputs); });
}
ASIOError ASIOGetLatencies(long* input, long* output) {
    return forward([&](IASIO& d) { return d.getLatencies(input, output); });
}
ASIOError ASIOGetBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) {
    return forward([&](IASIO& d) { return d.getBufferSize(minSize, maxSize, preferredSize, granularity); });
}
ASIOError ASIOCanSampleRate(ASIOSampleRate rate) {
    return forward([&](IASIO& d) { return d.canSampleRate(rate); });
}
ASIOError ASIOGetSampleRate(ASIOSampleRate* rate) {
    return forward([&](IASIO& d) { return d.getSampleRate(rate); });
}
ASIOError ASIOSetSampleRate(ASIOSampleRate rate) {
    return forward([&](IASIO& d) { return d.setSampleRate(rate); });
}
ASIOError ASIOGetClockSources(ASIOClockSource* clocks, long* count) {
    return forward([&](IASIO& d) { return d.getClockSources(clocks, count); });
}
ASIOError ASIOSetClockSource(long reference) {
    return forward([&](IASIO& d) { return d.setClockSource(reference); });
}
ASIOError ASIOGetSamplePosition(ASIOSamples* position, ASIOTimeStamp* stamp) {
    return forward([&](IASIO& d) { return d.getSamplePosition(position, stamp); });
}
ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info) {
    return forward([&](IASIO& d) { return d.getChannelInfo(info); });
}
ASIOError ASIODisposeBuffers(void) {
    const ASIOError result = forward([](IASIO& d) { return d.disposeBuffers(); });
    hostCallbacks.store(nullptr);
    return result;
}
ASIOError ASIOControlPanel(void) {
    return forward([](IASIO& d) { return d.controlPanel(); });
}
ASIOError ASIOFuture(long selector, void* params) {
    return forward([&](IASIO& d) { return d.future(selector, params); });
}
ASIOError ASIOOutputReady(void) {
    return forward([](IASIO& d) { return d.outputReady(); });
}

ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks) {
    IASIO* driver = ready();
    if (!driver) return ASE_NotPresent;
    if (!callbacks || !callbacks->asioMessage || !callbacks->sampleRateDidChange) return ASE_InvalidParameter;
    // The audio callbacks go to the library directly; only the two message paths pass through here.
    forwarding.bufferSwitch = callbacks->bufferSwitch;
    forwarding.bufferSwitchTimeInfo = callbacks->bufferSwitchTimeInfo;
    forwarding.sampleRateDidChange = &forwardRateChange;
    forwarding.asioMessage = &forwardMessage;
    hostCallbacks.store(callbacks);
    const ASIOError result = driver->createBuffers(bufferInfos, numChannels, bufferSize, &forwarding);
    if (result != ASE_OK) hostCallbacks.store(nullptr);
    return result;
}
