// The program's whole run on the Qt backend, behind a header free of Qt.
#pragma once

#include "runtime/window_template.h"

namespace pelorin::qt {

// Starts the tool on the X display; without one, says so in one line and returns 1.
int run(int& argc, char** argv, const runtime::WindowTemplate& t, int (*entry)());

}  // namespace pelorin::qt
