// Waiting for something that other threads or queued events bring about, with the Qt event loop
// of the calling thread running meanwhile.
#pragma once

#include <chrono>
#include <functional>

namespace vantorel::testing {

// Runs the event loop until `done` holds or the deadline passes; returns `done()`.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds deadline = std::chrono::seconds(20));

}  // namespace vantorel::testing
