#include "shell/shell.h"

#include "addresses.h"
#include "controls.h"
#include "shell/tray_icon.h"

namespace pelorin::shell {

using runtime::rt;

const char* const kClickHint = "点击'左键'显示界面,点击'右键'显示菜单";
const char* const kHotkeyHint = "快捷键:Alt+E 显示界面\r\n作者:Pelorin 邮箱:admin@pelorin.example";
const char* const kAttributionMenu = "作者:Pelorin 邮箱:admin@pelorin.example";

namespace {

void open_through_hyperlink_box(const char* address) {
  rt().write_hyperlink_address(ctl::超级链接框1, address);
  rt().navigate_hyperlink(ctl::超级链接框1);
}

}  // namespace

void register_hotkey() {
  rt().register_hotkey(ctl::标签1, runtime::kModAlt, kHotkeyKey);
}

void toggle_visibility(int, int) {
  rt().write_visible(!rt().read_visible());
  rt().set_tray_icon(kTrayIcon, kClickHint);
}

void on_tray(int action) {
  rt().set_tray_icon(kTrayIcon, kHotkeyHint);
  if (action == runtime::kTrayRightUp) rt().popup_tray_menu(kMainMenu);
  if (action == runtime::kTrayLeftUp) rt().write_visible(true);
}

void hide_command() {
  rt().write_visible(false);
  rt().set_tray_icon(kTrayIcon, kClickHint);
}

void show_command() {
  rt().write_visible(true);
}

void quit_command() {
  rt().write_visible(false);
  rt().destroy_window();
}

void product_page_command() {
  rt().open_url(addresses::kProductPage);
}

void directory_command() {
  open_through_hyperlink_box(addresses::kDirectoryPage);
}

void homepage_command() {
  open_through_hyperlink_box(addresses::kHomepage);
}

void popup_at_cursor(int, int) {
  const runtime::Point at = rt().mouse_position();
  rt().popup_menu(kMainMenu, at.x, at.y);
}

}  // namespace pelorin::shell
