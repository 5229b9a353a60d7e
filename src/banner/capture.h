// The banner's right-click capture: the capture procedure replaces the window procedure of the
// banner browser's window and of every window inside it, swallows right-button presses (calling
// the window's click routine) and releases, and hands every other message to the procedure it
// replaced.
//
// The registry of captured windows is process-wide and append-only, with at most one record per
// window. Look-ups hand out copies: a click routine runs a modal menu loop during which further
// captures can append to (and so reallocate) the registry under a running capture procedure.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "runtime/runtime.h"

namespace pelorin::banner {

using ClickRoutine = void (*)(int x, int y);

struct SubclassRecord {
  runtime::WindowHandle window;
  runtime::WindowProcedure previous;  // null when the install failed
  ClickRoutine click;
};

struct SubclassRegistry {
  std::vector<SubclassRecord> records;
};

// The registry of the run: created by the entry routine, released by the exit routine.
extern SubclassRegistry* registry;

std::optional<SubclassRecord> find_subclass_record(runtime::WindowHandle window);

// Captures `root` and every window below it that exists now, in pre-order. Windows already in
// the registry are passed over, but their children are still walked.
void capture_right_clicks(runtime::WindowHandle root, ClickRoutine click);

std::intptr_t capture_procedure(runtime::WindowHandle window, std::uint32_t message,
                                std::uintptr_t wparam, std::intptr_t lparam);

// The about-to-navigate event of the banner browser.
void on_banner_about_to_navigate();

}  // namespace pelorin::banner
