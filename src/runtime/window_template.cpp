#include <set>
#include <string_view>

#include "runtime/window_template.h"

namespace pelorin::runtime {

bool template_is_sound(const WindowTemplate& t) {
  if (t.title.empty() || t.controls.empty()) return false;
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < t.controls.size(); ++i) {
    const ControlTemplate& c = t.controls[i];
    if (c.id.index != i || c.name.empty() || !names.insert(c.name).second) return false;
    if (c.parent == kMainWindow) {
      if (c.page != -1) return false;
      continue;
    }
    if (c.parent.index >= i) return false;
    const ControlTemplate& parent = t.controls[c.parent.index];
    const bool in_tab = parent.kind == Kind::tab_control;
    if (in_tab != (c.page >= 0)) return false;
    if (in_tab && static_cast<std::size_t>(c.page) >= parent.tabs.size()) return false;
  }
  if (!t.menu.empty() && t.menu.front().level != 0) return false;
  for (const MenuItem& m : t.menu) {
    if (m.title.empty() || m.level < 0 || m.level > 1) return false;
  }
  return true;
}

}  // namespace pelorin::runtime
