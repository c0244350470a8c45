#include "app/UserMessage.h"

#include "log/Log.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <utility>

namespace vantor {

// The platform side of the seam (UserMessage_win32.cpp / UserMessage_posix.cpp).
[[noreturn]] void platformExitProcess(int status);

namespace {

std::mutex hookLock;
std::function<void(const std::string&, const std::string&)> messageBoxHook;
MessageBoxPresenter presenter;

// No user interface to show a box (a headless host, or before the application installed one):
// the text goes to the standard error stream and into the log.
void fallbackMessageBox(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    logInfo("message box \"", caption, "\": ", text);
}
std::function<void(int)> exitHook;
thread_local std::exception_ptr exitException;
std::atomic<bool> loggedOnly{false};

} // namespace

void setMessageBoxHook(std::function<void(const std::string& caption, const std::string& text)> hook) {
    std::lock_guard<std::mutex> lock(hookLock);
    messageBoxHook = std::move(hook);
}

void setMessageBoxPresenter(MessageBoxPresenter show) {
    std::lock_guard<std::mutex> lock(hookLock);
    presenter = std::move(show);
}

void setExitHook(std::function<void(int status)> hook) {
    std::lock_guard<std::mutex> lock(hookLock);
    exitHook = std::move(hook);
}

void setMessageBoxesLoggedOnly(bool on) {
    loggedOnly.store(on);
}

void showMessageBox(const std::string& caption, const std::string& text) {
    std::function<void(const std::string&, const std::string&)> hook;
    bool logOnly = false;
    {
        std::lock_guard<std::mutex> lock(hookLock);
        hook = messageBoxHook ? messageBoxHook : presenter;
        logOnly = !messageBoxHook && loggedOnly.load();
    }
    if (logOnly) {
        logInfo("message box \"", caption, "\": ", text);
        return;
    }
    // The box is modal: never call it with the hook lock held.
    if (hook)
        hook(caption, text);
    else
        fallbackMessageBox(caption, text);
}

bool isProcessExit(const std::exception_ptr& exception) {
    return exception && exception == exitException;
}

void exitProcess(int status) {
    std::function<void(int)> hook;
    {
        std::lock_guard<std::mutex> lock(hookLock);
        hook = exitHook;
    }
    if (hook) {
        try {
            hook(status);
        } catch (...) {
            exitException = std::current_exception();
            throw;
        }
    }
    // A hook that returns has not ended anything: end the process after all.
    platformExitProcess(status);
}

} // namespace vantor
