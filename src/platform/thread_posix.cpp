#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <time.h>

#include "platform/memory.h"

namespace lumbo {

namespace {

struct PosixThread {
    pthread_t   thread;
    ThreadEntry entry;
};

void* RunEntry(void* argument) {
    static_cast<PosixThread*>(argument)->entry();
    return nullptr;
}

}  // namespace

ThreadHandle CreateEngineThread(ThreadEntry entry) {
    PosixThread* handle = static_cast<PosixThread*>(AllocateZeroed(sizeof(PosixThread)));
    if (!handle) return nullptr;
    handle->entry = entry;
    if (pthread_create(&handle->thread, nullptr, RunEntry, handle) != 0) {
        Release(handle);
        return nullptr;
    }
    return handle;
}

void RaiseThreadPriority(ThreadHandle thread) {
    if (!thread) return;
    pthread_t posix = static_cast<PosixThread*>(thread)->thread;
    // Real-time scheduling needs a grant: privilege, or an RLIMIT_RTPRIO that
    // caps the priority a normal process may take. Without one the thread
    // keeps its normal priority.
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (pthread_setschedparam(posix, SCHED_FIFO, &param) == 0) return;
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0) return;
    if (limit.rlim_cur < rlim_t(param.sched_priority)) param.sched_priority = int(limit.rlim_cur);
    pthread_setschedparam(posix, SCHED_FIFO, &param);
}

void CloseEngineThread(ThreadHandle thread) {
    if (!thread) return;
    PosixThread* handle = static_cast<PosixThread*>(thread);
    pthread_join(handle->thread, nullptr);
    Release(handle);
}

void SleepMilliseconds(uint32_t milliseconds) {
    timespec wait{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

}  // namespace lumbo
