// POSIX threads. Priorities become nice values of the thread (Linux keeps one per thread),
// relative to the process's main thread: lowest +10, below normal +5, above normal -5, highest
// -10. Lowering a thread is always allowed; raising one needs privilege (CAP_SYS_NICE or
// RLIMIT_NICE). An unprivileged process gets as much of a raise as its limit allows, possibly
// none, and that is not logged: it is the expected state of a desktop user's process, and a
// line per started thread would only be noise. Any other refusal logs "SetThreadPriority failed".
#include "threads/ThreadDetached.h"
#include "log/Log.h"
#include "threads/Clock.h"
#include "threads/ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace vantor {

struct ThreadDetached::Impl {
    pthread_t thread{};
};

namespace {

// The new thread waits here until start() has stored its handle and id, so it cannot delete the
// object while start() still writes to it.
struct StartGate {
    std::mutex mutex;
    std::condition_variable changed;
    uint32_t threadId = 0;
    bool ready = false;
    bool go = false;
};

struct StartArguments {
    ThreadDetached* self;
    std::shared_ptr<StartGate> gate;
};

} // namespace

bool applyCurrentThreadPriority(int systemPriority) {
    errno = 0;
    int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (base == -1 && errno != 0) base = 0;
    const int target = std::clamp(base - 5 * systemPriority, -20, 19);
    const auto self = static_cast<id_t>(gettid());
    if (setpriority(PRIO_PROCESS, self, target) == 0) return true;
    if (errno != EACCES && errno != EPERM) return false;

    // Not allowed that high: take what RLIMIT_NICE allows, or keep the current value.
    errno = 0;
    int current = getpriority(PRIO_PROCESS, self);
    if (current == -1 && errno != 0) return false;
    if (target >= current) return false; // lowering is always allowed, so this refusal is real
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0) return true;
    const long long floor =
        limit.rlim_cur == RLIM_INFINITY ? -20 : 20 - static_cast<long long>(limit.rlim_cur);
    const int allowed = static_cast<int>(std::clamp<long long>(std::max<long long>(target, floor), -20, 19));
    if (allowed < current) setpriority(PRIO_PROCESS, self, allowed);
    return true;
}

struct ThreadDetachedLauncher {
    static void* routine(void* argument) {
        std::unique_ptr<StartArguments> args(static_cast<StartArguments*>(argument));
        {
            std::unique_lock<std::mutex> lock(args->gate->mutex);
            args->gate->threadId = currentThreadId();
            args->gate->ready = true;
            args->gate->changed.notify_all();
            args->gate->changed.wait(lock, [&] { return args->gate->go; });
        }
        ThreadDetached* self = args->self;
        args.reset();
        ThreadDetached::run(self);
        return nullptr;
    }
};

ThreadDetached::~ThreadDetached() {
    delete handle_;
}

bool ThreadDetached::start() {
    if (handle_) return false;
    auto gate = std::make_shared<StartGate>();
    auto* args = new StartArguments{this, gate};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread{};
    int rc = pthread_create(&thread, &attr, &ThreadDetachedLauncher::routine, args);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete args;
        logError("pthread_create failed with ", rc);
        return false;
    }
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->changed.wait(lock, [&] { return gate->ready; });
    handle_ = new Impl{thread};
    threadId_ = gate->threadId;
    gate->go = true;
    gate->changed.notify_all();
    return true;
}

} // namespace vantor
