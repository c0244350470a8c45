#include "threads/ThreadDetached.h"
#include "log/Log.h"
#include "threads/ThreadPriority.h"

#include <windows.h>

namespace vantor {

struct ThreadDetached::Impl {
    HANDLE thread = nullptr;
};

struct ThreadDetachedLauncher {
    static DWORD WINAPI routine(LPVOID argument) {
        ThreadDetached::run(static_cast<ThreadDetached*>(argument));
        return 0;
    }
};

bool applyCurrentThreadPriority(int systemPriority) {
    return SetThreadPriority(GetCurrentThread(), systemPriority) != 0;
}

ThreadDetached::~ThreadDetached() {
    if (handle_) {
        // Closing our own thread's handle does not end the thread.
        if (handle_->thread) CloseHandle(handle_->thread);
        delete handle_;
    }
}

bool ThreadDetached::start() {
    if (handle_) return false;
    auto* impl = new Impl();
    DWORD id = 0;
    // Created suspended: the thread may finish and delete this object at once, so handle and id
    // are stored before it runs, and nothing here touches the object after ResumeThread.
    HANDLE thread = CreateThread(nullptr, 0, ThreadDetachedLauncher::routine, this, CREATE_SUSPENDED, &id);
    if (!thread) {
        delete impl;
        logError("CreateThread failed");
        return false;
    }
    impl->thread = thread;
    handle_ = impl;
    threadId_ = id;
    ResumeThread(thread);
    return true;
}

} // namespace vantor
