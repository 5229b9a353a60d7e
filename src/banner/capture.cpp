#include "banner/capture.h"

#include "controls.h"
#include "shell/shell.h"

namespace pelorin::banner {

using runtime::rt;
using runtime::WindowHandle;

SubclassRegistry* registry = nullptr;

std::optional<SubclassRecord> find_subclass_record(WindowHandle window) {
  // Released: the run is over, and whatever still arrives goes to the window's own handling.
  if (!registry) return std::nullopt;
  for (const SubclassRecord& r : registry->records) {
    if (r.window == window) return r;
  }
  return std::nullopt;
}

namespace {

// Installing and appending happen with nothing in between that could process a message.
void capture_one(WindowHandle window, ClickRoutine click) {
  if (find_subclass_record(window)) return;
  const runtime::WindowProcedure previous = rt().install_procedure(window, &capture_procedure);
  registry->records.push_back({window, previous, click});
}

}  // namespace

void capture_right_clicks(WindowHandle root, ClickRoutine click) {
  capture_one(root, click);
  for (WindowHandle child = rt().next_child(root, 0); child > 0;
       child = rt().next_child(root, child)) {
    capture_one(child, click);
    capture_right_clicks(child, click);
  }
}

std::intptr_t capture_procedure(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                                std::intptr_t lparam) {
  const std::optional<SubclassRecord> record = find_subclass_record(window);
  if (!record) return rt().call_procedure(nullptr, window, message, wparam, lparam);
  switch (message) {
    case runtime::kRightButtonDown: {
      const auto x = static_cast<std::int16_t>(lparam & 0xFFFF);
      const auto y = static_cast<std::int16_t>((lparam >> 16) & 0xFFFF);
      record->click(x, y);
      return 0;
    }
    case runtime::kRightButtonUp:
      return 0;
    default:
      return rt().call_procedure(record->previous, window, message, wparam, lparam);
  }
}

void on_banner_about_to_navigate() {
  capture_right_clicks(rt().window_handle(ctl::超文本浏览框2), &shell::popup_at_cursor);
}

}  // namespace pelorin::banner
