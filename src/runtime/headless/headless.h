// The headless runtime: a complete backend in memory, for tests and benchmarks.
//
// A run is a whole process: run() starts the tool's entry routine, and the `session` function
// plays the user inside the message loop (clicks, key presses, waiting). Time is virtual: it moves
// only in advance(), which fires the system timers that fall due, in order. Message boxes and
// popup menus are answered by scripts that may themselves act or let time pass, as a user can
// while a box is open. What the tool asked of the runtime is recorded in calls().
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace pelorin::headless {

using runtime::ControlId;
using runtime::Text;
using runtime::WindowHandle;

struct Call {
  std::string op;   // "load_window", "show", "message_box", "navigate", ...
  Text arg;         // its main argument, as passed
  std::int64_t at;  // virtual time in ms
};

struct Navigation {
  std::int64_t at;
  Text address;
};

class Headless final : public runtime::Runtime {
 public:
  Headless();
  ~Headless() override;

  // Runs the tool from process start to process end; returns the exit code. When `session`
  // returns and the main window still exists, the user closes it with the caption button.
  int run(const runtime::WindowTemplate& t, int (*entry)(), const std::function<void()>& session);

  // ---- the user ---------------------------------------------------------------------------------
  void advance(std::int64_t ms);
  void click(ControlId button);
  void type(ControlId edit, const Text& text);
  void select_page(int page);
  void minimise();
  void press_hotkey();  // one press of the registered combination, anywhere in the system
  void tray_event(int action);
  void choose(std::string_view item_title);  // a menu item, from the menu bar
  void close_window();                       // the caption's close button
  void browser_about_to_navigate(ControlId browser);
  // A message to a window of the fake window tree, through whatever procedure it has.
  std::intptr_t send(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                     std::intptr_t lparam);

  // ---- scripts ----------------------------------------------------------------------------------
  std::function<void(const Text& message, const Text& caption)> on_message_box;
  // While a popup is open; returns the title of the item chosen, or empty for none.
  std::function<Text(runtime::MenuId menu, int x, int y, bool tray)> on_popup;
  bool fail_window_creation = false;
  std::optional<int> fail_allocation;  // the n-th allocation (0-based) fails
  bool hotkey_taken = false;
  std::map<Text, runtime::Bytes> responses;  // fetch_url answers by address
  Text program_directory = "/opt/pelorin";
  runtime::Point mouse{0, 0};

  // The fake window tree: the banner browser's window is its root.
  WindowHandle tree_root = 1000;
  void add_window(WindowHandle parent, WindowHandle child);
  void remove_window(WindowHandle window);
  std::set<WindowHandle> refuse_install;  // windows whose procedure cannot be replaced
  std::vector<std::pair<WindowHandle, std::uint32_t>> default_messages;  // reached the page

  // ---- what happened ----------------------------------------------------------------------------
  const std::vector<Call>& calls() const { return calls_; }
  std::vector<Text> ops() const;  // the op names of calls(), in order
  std::int64_t now() const { return now_; }
  bool window_exists() const { return window_exists_; }
  bool window_shown() const { return window_exists_ && shown_; }
  bool window_ever_shown() const { return ever_shown_; }
  bool minimised() const { return minimised_; }
  Text edit_text(ControlId edit) const;
  bool control_visible(ControlId c) const;
  int selected_page() const { return page_; }
  std::int32_t period(ControlId timer) const;
  const std::vector<Navigation>& navigations(ControlId browser) const;
  bool tray_present() const { return tray_present_; }
  const Text& tray_tooltip() const { return tray_tooltip_; }
  std::size_t tray_icon_bytes() const { return tray_icon_bytes_; }
  std::size_t live_allocations() const { return live_.size(); }
  std::size_t allocations() const { return allocations_; }

  // ---- the runtime ------------------------------------------------------------------------------
  void load_window(const runtime::WindowTemplate& t) override;
  int message_loop() override;
  void end_of_run() override;
  [[noreturn]] void exit_program(int code) override;
  [[noreturn]] void fatal_error(const Text& message) override;
  void* allocate(std::size_t bytes) override;
  void release(void* block) override;
  Text read_edit_text(ControlId edit) override;
  bool read_visible() override;
  void write_visible(bool shown) override;
  void write_timer_period(ControlId timer, std::int32_t ms) override;
  void write_browser_address(ControlId browser, const Text& address) override;
  void write_hyperlink_address(ControlId box, const Text& address) override;
  void message_box(const Text& message, int flags) override;
  void set_tray_icon(std::span<const std::uint8_t> icon_file, const Text& tooltip) override;
  void popup_menu(runtime::MenuId menu, int x, int y) override;
  void popup_tray_menu(runtime::MenuId menu) override;
  int register_hotkey(ControlId target, int modifiers, int key) override;
  void destroy_window() override;
  WindowHandle window_handle(ControlId control) override;
  runtime::Point mouse_position() override;
  WindowHandle next_child(WindowHandle parent, WindowHandle after) override;
  runtime::WindowProcedure install_procedure(WindowHandle window,
                                             runtime::WindowProcedure procedure) override;
  std::intptr_t call_procedure(runtime::WindowProcedure previous, WindowHandle window,
                               std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t lparam) override;
  runtime::Bytes fetch_url(const Text& address) override;
  Text run_directory() override;
  void run_program(const Text& command_line) override;
  void navigate_hyperlink(ControlId box) override;
  void open_url(const Text& address) override;

 private:
  struct Control {
    Text text;
    bool visible = true;
    std::int32_t period = 0;
    std::int32_t system_ms = 0;
    std::int64_t due = 0;
    Text hyperlink;
    std::vector<Navigation> navigations;
  };
  struct EndOfRun {
    int code;
  };
  static std::intptr_t default_procedure(WindowHandle, std::uint32_t, std::uintptr_t,
                                         std::intptr_t);

  void record(std::string op, Text arg = {});
  bool events_live() const;  // a window to receive events, not loading
  void handle_pending_destroy();
  void choose_item(const Text& title);
  const runtime::ControlTemplate& row(ControlId c) const;
  Control& control(ControlId c);
  const Control& control(ControlId c) const;

  const runtime::WindowTemplate* template_ = nullptr;
  std::vector<Control> controls_;
  std::vector<Call> calls_;
  std::int64_t now_ = 0;
  bool window_exists_ = false;
  bool loading_ = false;
  bool shown_ = false;
  bool ever_shown_ = false;
  bool minimised_ = false;
  bool destroy_pending_ = false;
  int page_ = 0;
  bool tray_present_ = false;
  Text tray_tooltip_;
  std::size_t tray_icon_bytes_ = 0;
  int hotkey_id_ = 0;
  ControlId hotkey_target_{0};
  std::map<void*, std::size_t> live_;  // block → size
  std::size_t allocations_ = 0;
  std::function<void()> session_;
  std::map<WindowHandle, std::vector<WindowHandle>> children_;
  std::map<WindowHandle, runtime::WindowProcedure> procedures_;
};

}  // namespace pelorin::headless
