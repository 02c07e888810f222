#pragma once
// The synchronous hand-off from a worker thread to the UI thread: the worker
// posts a step to the UI thread's event loop and waits until it has run.
//
// A posted event plus a wait on an atomic costs a few microseconds, against
// some 70 us for a blocking queued connection, so a worker can hand over
// tens of thousands of steps a second.  Called on the UI thread itself the
// step simply runs.
#include <atomic>
#include <functional>

// Runs `step` on the application's UI thread and returns after it has run.
// When `cancel` is given and becomes true while the step is still waiting in
// the queue, the step is dropped and the call returns false; a step that
// has started is always waited for.
bool RunOnUiThread(const std::function<void()>& step, const std::atomic<bool>* cancel = nullptr);
