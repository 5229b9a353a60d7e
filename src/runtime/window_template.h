// The window template: a window described as plain data, from which a backend's load window
// builds the real window. Controls are rows of one table, addressed by their row index; a row's
// parent is an earlier row (or the main window), so a backend can create them in table order.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace pelorin::runtime {

// A row of the template. Implicit from a number, so that a tool's control names (an enum of
// row numbers) can be passed where a control is expected.
struct ControlId {
  constexpr ControlId(std::uint16_t i) : index(i) {}  // NOLINT(google-explicit-constructor)
  std::uint16_t index;
  friend constexpr bool operator==(ControlId, ControlId) = default;
};

// The main window itself, where an operation takes "a window or a control".
inline constexpr ControlId kMainWindow{0xFFFF};

enum class Kind : std::uint8_t {
  edit_box,
  push_button,
  label,
  transparent_label,
  shape,
  tab_control,
  timer,
  hyperlink_box,
  browser,
  simple_hypertext,
};

enum class Align : std::uint8_t { left, center };

struct Rect {
  int x, y, w, h;
  friend constexpr bool operator==(Rect, Rect) = default;
};

struct Font {
  std::string_view face{};  // empty: the default interface font
  int pixel_height = 0;     // character height; 0 with the default font
};

struct ControlTemplate {
  ControlId id{0};
  std::string_view name{};
  Kind kind{};
  ControlId parent = kMainWindow;
  int page = -1;  // for a child of a tab control: the page (0-based) it sits on
  Rect rect{};
  bool visible = true;
  bool tab_stop = false;
  std::string_view text{};                    // caption, initial text, browser address or HTML
  std::optional<std::uint32_t> text_color{};  // 0xRRGGBB
  std::optional<std::uint32_t> background{};
  Align align = Align::left;
  Font font{};
  // shape
  int outline_width = 0;
  std::uint32_t outline_color = 0;
  // tab control
  std::span<const std::string_view> tabs{};
  Font tab_font{};
  // browser
  bool silent = false;
  bool offline = false;
  int font_size_level = 2;  // 0 (最小) to 4 (最大)
  // simple hypertext
  std::string_view style_sheet{};
  bool border = false;
  // events
  void (*clicked)() = nullptr;            // push button
  void (*periodic)() = nullptr;           // timer
  void (*feedback)(int, int) = nullptr;   // label
  void (*about_to_navigate)() = nullptr;  // browser
};

struct MenuItem {
  std::string_view title{};
  int level = 0;  // 0: a menu of the menu bar; 1: an item of the menu above it
  void (*selected)() = nullptr;
};

// A menu of the menu bar, by its position among the level-0 rows.
struct MenuId {
  int index;
};

struct WindowTemplate {
  std::string_view title;
  int outer_width;
  int outer_height;
  int client_height;  // the client area below the menu bar
  std::span<const ControlTemplate> controls;
  std::span<const MenuItem> menu;
  std::span<const std::uint8_t> icon;  // a complete icon file
  void (*created)() = nullptr;
  void (*tray)(int action) = nullptr;
};

// Whether a template can be built: rows indexed in order, parents earlier rows, names unique and
// present, pages only under a tab control and within its tabs, menus well formed.
bool template_is_sound(const WindowTemplate& t);

}  // namespace pelorin::runtime
