// The tool's life cycle: the entry routine, the exit routine and the main window's template.
#pragma once

#include "runtime/window_template.h"

namespace pelorin::app {

extern const char* const kTitle;

const runtime::WindowTemplate& main_window();

// Creates the manifest document and the subclass registry, registers the exit routine, loads the
// main window and runs the message loop. Returns 0.
int entry_routine();

// Releases the manifest document, then every registry record in order, then the registry.
void exit_routine();

// The created event: the update check, then the hotkey.
void on_created();

}  // namespace pelorin::app
