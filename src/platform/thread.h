// The one thread the engine starts, and the sleep that paces it.
#pragma once
#include <cstdint>

namespace lumbo {

// A started thread; null when none could be started.
typedef void* ThreadHandle;
// The thread's work; its result is the thread's exit code.
typedef uint32_t (*ThreadEntry)();

// Starts entry on a new thread, runnable at once. Null when the system refuses.
ThreadHandle CreateEngineThread(ThreadEntry entry);
// Raises the thread to the highest priority the system grants to this
// process; without such a grant the thread stays at normal priority.
void RaiseThreadPriority(ThreadHandle thread);
// Waits until the thread has ended, then releases the handle.
void CloseEngineThread(ThreadHandle thread);
// Suspends the calling thread for about milliseconds.
void SleepMilliseconds(uint32_t milliseconds);

}  // namespace lumbo
