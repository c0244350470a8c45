#include "app/UserMessage.h"

#include <mutex>
#include <utility>

namespace vantor {

// The platform side of the seam (UserMessage_win32.cpp / UserMessage_posix.cpp).
void platformShowMessageBox(const std::string& caption, const std::string& text);
[[noreturn]] void platformExitProcess(int status);

namespace {

std::mutex hookLock;
std::function<void(const std::string&, const std::string&)> messageBoxHook;
std::function<void(int)> exitHook;
thread_local std::exception_ptr exitException;

} // namespace

void setMessageBoxHook(std::function<void(const std::string& caption, const std::string& text)> hook) {
    std::lock_guard<std::mutex> lock(hookLock);
    messageBoxHook = std::move(hook);
}

void setExitHook(std::function<void(int status)> hook) {
    std::lock_guard<std::mutex> lock(hookLock);
    exitHook = std::move(hook);
}

void showMessageBox(const std::string& caption, const std::string& text) {
    std::function<void(const std::string&, const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(hookLock);
        hook = messageBoxHook;
    }
    // The box is modal: never call it with the hook lock held.
    if (hook)
        hook(caption, text);
    else
        platformShowMessageBox(caption, text);
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
