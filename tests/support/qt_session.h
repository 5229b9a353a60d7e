// Runs the real tool on the Qt backend inside a test: the whole start-up, then `session` inside
// the message loop once the window is shown; when the session returns, the window is destroyed
// and the run ends as it does for a user. One run per process (Qt allows one application).
#pragma once

#include <chrono>
#include <functional>

#include "runtime/qt/qt_runtime.h"

namespace pelorin::testing_support {

int run_qt_session(const std::function<void(qt::QtRuntime&)>& session);

// Lets the event loop run until `done` holds or `timeout` passes; returns whether it held.
bool spin_until(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Lets the event loop run for `period`.
void spin_for(std::chrono::milliseconds period);

}  // namespace pelorin::testing_support
