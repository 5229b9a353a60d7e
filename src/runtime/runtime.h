// What the tool asks of its window runtime and of the system services, as one interface that each
// backend implements: Qt on X11 for the product, an in-memory runtime for tests and benchmarks.
//
// Everything runs on the interface thread. The tool's handlers reach the runtime through rt(); a
// backend makes itself the current runtime for the whole run (see runtime::start).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <utility>

#include "runtime/text.h"
#include "runtime/window_template.h"

namespace pelorin::runtime {

using text::Text;
using Bytes = std::string;

// A system window, as the right-click capture sees it. 0 is no window.
using WindowHandle = std::intptr_t;

// A window procedure: what a window does with a message. The capture installs its own on the
// banner's windows and hands other messages to the one it replaced.
using WindowProcedure = std::intptr_t (*)(WindowHandle, std::uint32_t message,
                                          std::uintptr_t wparam, std::intptr_t lparam);

inline constexpr std::uint32_t kRightButtonDown = 0x0204;
inline constexpr std::uint32_t kRightButtonUp = 0x0205;
inline constexpr std::uint32_t kRightButtonDoubleClick = 0x0206;
inline constexpr std::uint32_t kContextMenu = 0x007B;

// Message box flags.
inline constexpr int kInformation = 64;

// Tray event action codes.
inline constexpr int kTrayLeftUp = 1;
inline constexpr int kTrayLeftDoubleClick = 2;
inline constexpr int kTrayRightUp = 3;

// Hotkey modifier codes.
inline constexpr int kModCtrl = 1;
inline constexpr int kModShift = 2;
inline constexpr int kModAlt = 4;

struct Point {
  int x, y;
};

class Runtime {
 public:
  virtual ~Runtime() = default;

  // --- life cycle -------------------------------------------------------------------------------
  // Creates the main window hidden with its menu bar, then every control, applies visibility,
  // raises the created event, then shows the window centred if it still exists. Control events
  // raised while loading are dropped. A window that cannot be created is a fatal runtime error.
  virtual void load_window(const WindowTemplate& t) = 0;
  // Runs until the main window is destroyed; returns 0.
  virtual int message_loop() = 0;
  // Ends the run: end-of-run processing (the exit routine included), then the process ends.
  [[noreturn]] virtual void exit_program(int code) = 0;
  // The error box, then end-of-run processing, then the process ends with code -1.
  [[noreturn]] virtual void fatal_error(const Text& message) = 0;
  // The runtime's heap. allocate never returns null: failing, it is a fatal runtime error.
  virtual void* allocate(std::size_t bytes) = 0;
  virtual void release(void* block) = 0;

  // The exit routine is called at most once, by end_of_run.
  void register_exit_routine(void (*routine)()) { exit_routine_ = routine; }
  virtual void end_of_run() {
    if (auto routine = std::exchange(exit_routine_, nullptr)) routine();
  }

  // --- properties -------------------------------------------------------------------------------
  virtual Text read_edit_text(ControlId edit) = 0;
  virtual bool read_visible() = 0;  // the main window; a minimised window counts as shown
  virtual void write_visible(bool shown) = 0;
  // The timer period rule applies (see timer_period.h).
  virtual void write_timer_period(ControlId timer, std::int32_t ms) = 0;
  virtual void write_browser_address(ControlId browser, const Text& address) = 0;
  virtual void write_hyperlink_address(ControlId box, const Text& address) = 0;

  // --- windows, menus, tray, hotkey -------------------------------------------------------------
  // Caption "信息：", no owner, modal for the task; returns when closed.
  virtual void message_box(const Text& message, int flags) = 0;
  // Adds the notification-area icon on the first call, renews icon and tooltip later. The
  // tooltip is cut to 62 bytes.
  virtual void set_tray_icon(std::span<const std::uint8_t> icon_file, const Text& tooltip) = 0;
  virtual void popup_menu(MenuId menu, int x, int y) = 0;
  virtual void popup_tray_menu(MenuId menu) = 0;
  // Each press raises the feedback event of `target`. Returns the hotkey's identifier, or 0.
  virtual int register_hotkey(ControlId target, int modifiers, int key) = 0;
  // The main window is destroyed when the message loop next runs.
  virtual void destroy_window() = 0;
  virtual WindowHandle window_handle(ControlId control) = 0;
  virtual Point mouse_position() = 0;

  // --- the window tree, for the right-click capture ---------------------------------------------
  // The first direct child of `parent`, or the one after `after`; 0 when there is none.
  virtual WindowHandle next_child(WindowHandle parent, WindowHandle after) = 0;
  // Installs `procedure` on `window`; returns the procedure it replaced, or null on failure.
  virtual WindowProcedure install_procedure(WindowHandle window, WindowProcedure procedure) = 0;
  virtual std::intptr_t call_procedure(WindowProcedure previous, WindowHandle window,
                                       std::uint32_t message, std::uintptr_t wparam,
                                       std::intptr_t lparam) = 0;

  // --- services ---------------------------------------------------------------------------------
  // HTTP GET; the body whatever the status, what was read when the connection broke, or empty.
  virtual Bytes fetch_url(const Text& address) = 0;
  // The program file's directory, without a trailing separator.
  virtual Text run_directory() = 0;
  // Starts a program from a command line, without waiting for it; failures are ignored.
  virtual void run_program(const Text& command_line) = 0;
  // Opens the hyperlink box's address in the user's browser; nothing when it is empty.
  virtual void navigate_hyperlink(ControlId box) = 0;
  virtual void open_url(const Text& address) = 0;

 private:
  void (*exit_routine_)() = nullptr;
};

// The current runtime. Valid between runtime::start's beginning and its end.
Runtime& rt();

// Makes `r` the current runtime, checks the template (a fatal runtime error if it cannot be
// used), runs the entry routine, then the end-of-run processing; returns the entry's result.
int start(Runtime& r, const WindowTemplate& t, int (*entry)());

// Objects on the runtime's heap.
template <class T>
T* create() {
  return ::new (rt().allocate(sizeof(T))) T();
}
template <class T>
void destroy(T* object) {
  if (!object) return;
  object->~T();
  rt().release(object);
}

// The system's texts of the runtime.
Text fatal_error_text(const Text& message);          // the body of the error box
Text allocation_failure_message(std::size_t bytes);  // "分配 %d 字节内存失败!"
extern const char* const kInformationCaption;        // "信息："
extern const char* const kErrorCaption;              // "错误"
extern const char* const kTemplateUnreadable;        // "载入窗口模板数据段出错!"
extern const char* const kWindowNotCreated;          // "载入启动窗口失败"

// The current template, set by start (a backend builds from it).
const WindowTemplate& current_template();

}  // namespace pelorin::runtime
