// Hiding to the notification area and back: the hotkey, the tray icon, the menu commands and the
// popup of the main menu at the cursor. Whether the window is shown is always read back from the
// window itself; the icon belongs to the runtime.
#pragma once

#include "runtime/runtime.h"

namespace pelorin::shell {

inline constexpr int kHotkeyKey = 69;  // E
inline constexpr runtime::MenuId kMainMenu{0};

extern const char* const kClickHint;   // the tooltip after a hide
extern const char* const kHotkeyHint;  // the tooltip after a tray event
extern const char* const kAttributionMenu;

void register_hotkey();
void toggle_visibility(int hotkey, int unused);
void on_tray(int action);
void hide_command();
void show_command();
void quit_command();
void product_page_command();
void directory_command();
void homepage_command();
void popup_at_cursor(int x, int y);

}  // namespace pelorin::shell
