#include <windows.h>

#include "platform/thread.h"

namespace lumbo {

namespace {

DWORD WINAPI RunEntry(LPVOID entry) { ExitThread(reinterpret_cast<ThreadEntry>(entry)()); }

}  // namespace

ThreadHandle CreateEngineThread(ThreadEntry entry) {
    DWORD id;   // required by older systems, not kept
    return CreateThread(nullptr, 0, RunEntry, reinterpret_cast<LPVOID>(entry), 0, &id);
}

void RaiseThreadPriority(ThreadHandle thread) { SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL); }

void CloseEngineThread(ThreadHandle thread) {
    if (!thread) return;
    // The thread has signalled its exit, or never ran its loop; it may still
    // be on its way out of the library's code.
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace lumbo
