// The Qt backend: the window runtime on Qt 6 Widgets and Qt WebEngine under X11.
//
// The main window is a QMainWindow whose central widget is the client area; every control of
// the template is a widget placed at its rectangle in its parent, so Qt's clipping of children
// to their parents gives the banner its cut-out. Timers are QTimers driven by the one period
// rule; the hotkey is an X key grab; the tray icon is a QSystemTrayIcon.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

#include "runtime/qt/run.h"
#include "runtime/runtime.h"

class QApplication;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace pelorin::qt {

class QtRuntime;

// Feeds the right-click capture: mouse events of captured widgets become window messages for
// the capture procedure, and what it swallows never reaches the widget.
class CaptureFilter : public QObject {
 public:
  explicit CaptureFilter(QtRuntime& rt) : rt_(rt) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QtRuntime& rt_;
};

// Delivers presses of the grabbed hotkey.
class HotkeyFilter : public QAbstractNativeEventFilter {
 public:
  explicit HotkeyFilter(QtRuntime& rt) : rt_(rt) {}
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

 private:
  QtRuntime& rt_;
};

class QtRuntime final : public runtime::Runtime {
 public:
  QtRuntime(int& argc, char** argv);
  ~QtRuntime() override;

  void load_window(const runtime::WindowTemplate& t) override;
  int message_loop() override;
  [[noreturn]] void exit_program(int code) override;
  [[noreturn]] void fatal_error(const runtime::Text& message) override;
  void* allocate(std::size_t bytes) override;
  void release(void* block) override;
  runtime::Text read_edit_text(runtime::ControlId edit) override;
  bool read_visible() override;
  void write_visible(bool shown) override;
  void write_timer_period(runtime::ControlId timer, std::int32_t ms) override;
  void write_browser_address(runtime::ControlId browser, const runtime::Text& address) override;
  void write_hyperlink_address(runtime::ControlId box, const runtime::Text& address) override;
  void message_box(const runtime::Text& message, int flags) override;
  void set_tray_icon(std::span<const std::uint8_t> icon_file,
                     const runtime::Text& tooltip) override;
  void popup_menu(runtime::MenuId menu, int x, int y) override;
  void popup_tray_menu(runtime::MenuId menu) override;
  int register_hotkey(runtime::ControlId target, int modifiers, int key) override;
  void destroy_window() override;
  runtime::WindowHandle window_handle(runtime::ControlId control) override;
  runtime::Point mouse_position() override;
  runtime::WindowHandle next_child(runtime::WindowHandle parent,
                                   runtime::WindowHandle after) override;
  runtime::WindowProcedure install_procedure(runtime::WindowHandle window,
                                             runtime::WindowProcedure procedure) override;
  std::intptr_t call_procedure(runtime::WindowProcedure previous, runtime::WindowHandle window,
                               std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t lparam) override;
  runtime::Bytes fetch_url(const runtime::Text& address) override;
  runtime::Text run_directory() override;
  void run_program(const runtime::Text& command_line) override;
  void navigate_hyperlink(runtime::ControlId box) override;
  void open_url(const runtime::Text& address) override;

  // For the filters and widgets of this backend.
  bool events_live() const { return main_ != nullptr && !loading_; }
  void raise_about_to_navigate(runtime::ControlId browser);
  // A key press that `window` (the grab's root window, or another) received.
  void raise_hotkey(std::uint32_t window, std::uint8_t keycode, std::uint16_t state);
  bool deliver(QWidget* widget, std::uint32_t message, std::intptr_t lparam);  // true: swallowed
  QWidget* widget(runtime::ControlId c) const { return controls_.at(c.index).widget; }
  QMainWindow* main_window() const { return main_; }
  QSystemTrayIcon* tray_icon() const { return tray_.get(); }  // null until the first call

 private:
  struct Control {
    QWidget* widget = nullptr;
    QTimer* timer = nullptr;
    std::int32_t period = 0;
    runtime::Text hyperlink;
  };

  void build_menus();
  QMenu* popup_for(runtime::MenuId menu);
  void open_in_browser(const runtime::Text& address);
  [[noreturn]] void end_process(int code);

  std::unique_ptr<QApplication> app_;
  const runtime::WindowTemplate* template_ = nullptr;
  QPointer<QMainWindow> main_;
  std::vector<Control> controls_;
  std::vector<QMenu*> menus_;  // the level-0 menus, owned by the menu bar
  bool loading_ = false;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<CaptureFilter> capture_;
  std::vector<bool> passed_on_;  // per message being delivered: did it reach the previous one
  std::unique_ptr<HotkeyFilter> hotkey_filter_;
  std::uint8_t hotkey_code_ = 0;
  std::uint16_t hotkey_mods_ = 0;
  std::uint32_t hotkey_root_ = 0;
  runtime::ControlId hotkey_target_{0};
  int hotkey_id_ = 0;
};

}  // namespace pelorin::qt
