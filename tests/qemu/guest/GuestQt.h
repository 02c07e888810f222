#pragma once
// For checks that need the program's Qt side (widgets, the UI thread's
// event loop): an offscreen application made on first use, and an event
// pump with a deadline.
#include <chrono>
#include <functional>

namespace guest {

// Creates the QApplication (offscreen platform) once; the checks run on
// the thread that calls this first, which becomes the UI thread.
void EnsureApplication();

// Lets the UI thread's events run (deferred deletes included) until `done`
// holds; false when it still does not after `limit` (a hang becomes a
// failure, never a wait for time to pass).
bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(20));

}  // namespace guest
