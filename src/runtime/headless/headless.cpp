#include "runtime/headless/headless.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "runtime/timer_period.h"

namespace pelorin::headless {

using runtime::Kind;

namespace {
Headless* active = nullptr;  // the run the default window procedure reports to
}  // namespace

Headless::Headless() {
  active = this;
}

Headless::~Headless() {
  for (auto& [block, size] : live_) std::free(block);
  if (active == this) active = nullptr;
}

int Headless::run(const runtime::WindowTemplate& t, int (*entry)(),
                  const std::function<void()>& session) {
  session_ = session;
  try {
    return runtime::start(*this, t, entry);
  } catch (const EndOfRun& end) {
    return end.code;
  }
}

void Headless::record(std::string op, Text arg) {
  calls_.push_back({std::move(op), std::move(arg), now_});
}

std::vector<Text> Headless::ops() const {
  std::vector<Text> out;
  for (const Call& c : calls_) out.push_back(c.op);
  return out;
}

const runtime::ControlTemplate& Headless::row(ControlId c) const {
  return template_->controls[c.index];
}
Headless::Control& Headless::control(ControlId c) {
  return controls_.at(c.index);
}
const Headless::Control& Headless::control(ControlId c) const {
  return controls_.at(c.index);
}

bool Headless::events_live() const {
  return window_exists_ && !loading_;
}

// ---- life cycle
// -----------------------------------------------------------------------------------

void Headless::load_window(const runtime::WindowTemplate& t) {
  if (fail_window_creation) fatal_error(runtime::kWindowNotCreated);
  template_ = &t;
  loading_ = true;
  window_exists_ = true;
  shown_ = false;
  record("create_window", Text(t.title));
  controls_.assign(t.controls.size(), Control{});
  for (const runtime::ControlTemplate& c : t.controls) {
    Control& state = control(c.id);
    state.text = Text(c.text);
    state.visible = c.visible && (c.page < 0 || c.page == 0);
    if (c.kind == Kind::browser && !c.text.empty()) state.navigations.push_back({now_, state.text});
  }
  page_ = 0;
  record("created");
  if (t.created) t.created();
  loading_ = false;
  if (window_exists_ && !destroy_pending_) {
    shown_ = true;
    ever_shown_ = true;
    record("show");
  }
}

int Headless::message_loop() {
  record("message_loop");
  handle_pending_destroy();
  if (window_exists_ && session_) session_();
  handle_pending_destroy();
  if (window_exists_) close_window();
  return 0;
}

void Headless::end_of_run() {
  record("end_of_run");
  Runtime::end_of_run();
}

void Headless::exit_program(int code) {
  record("exit_program", std::to_string(code));
  end_of_run();
  throw EndOfRun{code};
}

void Headless::fatal_error(const Text& message) {
  record("fatal_error", runtime::fatal_error_text(message));
  if (on_message_box) on_message_box(runtime::fatal_error_text(message), runtime::kErrorCaption);
  end_of_run();
  throw EndOfRun{-1};
}

void* Headless::allocate(std::size_t bytes) {
  const int n = static_cast<int>(allocations_++);
  if (fail_allocation && *fail_allocation == n) {
    fatal_error(runtime::allocation_failure_message(bytes));
  }
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  live_.emplace(block, bytes);
  return block;
}

void Headless::release(void* block) {
  if (!block) return;
  auto it = live_.find(block);
  record("release", it == live_.end() ? "unknown" : std::to_string(it->second));
  if (it != live_.end()) live_.erase(it);
  std::free(block);
}

void Headless::handle_pending_destroy() {
  if (!destroy_pending_ || !window_exists_) return;
  destroy_pending_ = false;
  window_exists_ = false;
  shown_ = false;
  tray_present_ = false;
  record("window_destroyed");
}

// ---- the user
// ---------------------------------------------------------------------------------------

void Headless::advance(std::int64_t ms) {
  const std::int64_t until = now_ + ms;
  for (;;) {
    handle_pending_destroy();
    if (!window_exists_) break;
    // The earliest timer due by `until`; ties go in template order.
    std::optional<std::size_t> next;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      const Control& c = controls_[i];
      if (c.system_ms > 0 && c.due <= until && (!next || c.due < controls_[*next].due)) next = i;
    }
    if (!next) break;
    Control& timer = controls_[*next];
    now_ = std::max(now_, timer.due);
    timer.due += timer.system_ms;
    // Expirations missed while the thread was busy are not queued up one by one.
    if (timer.due <= now_) timer.due = now_ + timer.system_ms;
    if (auto tick = template_->controls[*next].periodic; tick && events_live()) tick();
  }
  now_ = std::max(now_, until);
}

void Headless::click(ControlId button) {
  handle_pending_destroy();
  if (!events_live()) return;
  if (auto clicked = row(button).clicked) clicked();
}

void Headless::type(ControlId edit, const Text& text) {
  if (window_exists_) control(edit).text = text;
}

void Headless::select_page(int page) {
  if (!window_exists_) return;
  page_ = page;
  for (const runtime::ControlTemplate& c : template_->controls) {
    if (c.page >= 0) control(c.id).visible = c.visible && c.page == page;
  }
}

void Headless::minimise() {
  minimised_ = true;
}

void Headless::press_hotkey() {
  handle_pending_destroy();
  if (hotkey_id_ == 0 || !events_live()) return;
  if (auto feedback = row(hotkey_target_).feedback) feedback(hotkey_id_, 0);
}

void Headless::tray_event(int action) {
  handle_pending_destroy();
  if (!tray_present_ || !events_live()) return;
  if (template_->tray) template_->tray(action);
}

void Headless::choose_item(const Text& title) {
  for (const runtime::MenuItem& m : template_->menu) {
    if (m.title == title) {
      record("menu_selected", title);
      if (m.selected) m.selected();
      return;
    }
  }
}

void Headless::choose(std::string_view item_title) {
  handle_pending_destroy();
  if (events_live()) choose_item(Text(item_title));
}

void Headless::close_window() {
  handle_pending_destroy();
  if (!window_exists_) return;
  destroy_pending_ = true;
  handle_pending_destroy();
}

void Headless::browser_about_to_navigate(ControlId browser) {
  handle_pending_destroy();
  if (!events_live()) return;
  if (auto event = row(browser).about_to_navigate) event();
}

// ---- properties
// -------------------------------------------------------------------------------------

Text Headless::read_edit_text(ControlId edit) {
  return control(edit).text;
}

bool Headless::read_visible() {
  return shown_;
}

void Headless::write_visible(bool shown) {
  record(shown ? "show" : "hide");
  if (!window_exists_) return;
  shown_ = shown;
  if (shown) ever_shown_ = true;
}

void Headless::write_timer_period(ControlId timer, std::int32_t ms) {
  record("timer_period", std::to_string(ms));
  Control& t = control(timer);
  const runtime::PeriodChange change = runtime::apply_period(t.period, ms);
  if (!change.changed) return;
  t.period = change.period;
  t.system_ms = change.system_ms;
  t.due = now_ + change.system_ms;
}

void Headless::write_browser_address(ControlId browser, const Text& address) {
  record("navigate", address);
  control(browser).navigations.push_back({now_, address});
}

void Headless::write_hyperlink_address(ControlId box, const Text& address) {
  record("hyperlink_address", address);
  control(box).hyperlink = address;
}

// ---- windows, menus, tray, hotkey
// -------------------------------------------------------------------

void Headless::message_box(const Text& message, int flags) {
  record("message_box", message);
  record("message_box_flags", std::to_string(flags));
  if (on_message_box) on_message_box(message, runtime::kInformationCaption);
}

void Headless::set_tray_icon(std::span<const std::uint8_t> icon_file, const Text& tooltip) {
  record("set_tray_icon", tooltip);
  if (!window_exists_) return;
  tray_present_ = true;
  tray_tooltip_ = Text(text::cut(tooltip, 62));
  tray_icon_bytes_ = icon_file.size();
}

void Headless::popup_menu(runtime::MenuId menu, int x, int y) {
  record("popup_menu", std::to_string(x) + "," + std::to_string(y));
  if (!on_popup) return;
  const Text chosen = on_popup(menu, x, y, false);
  if (!chosen.empty()) choose_item(chosen);
}

void Headless::popup_tray_menu(runtime::MenuId menu) {
  record("popup_tray_menu");
  if (!on_popup) return;
  const Text chosen = on_popup(menu, mouse.x - 5, mouse.y - 5, true);
  if (!chosen.empty()) choose_item(chosen);
}

int Headless::register_hotkey(ControlId target, int modifiers, int key) {
  record("register_hotkey", std::to_string(modifiers) + "+" + std::to_string(key));
  if (hotkey_taken) return 0;
  hotkey_id_ = 1;
  hotkey_target_ = target;
  return hotkey_id_;
}

void Headless::destroy_window() {
  record("destroy_window");
  if (window_exists_) destroy_pending_ = true;
}

WindowHandle Headless::window_handle(ControlId control) {
  if (control == runtime::kMainWindow) return 1;
  if (row(control).kind == Kind::browser) return tree_root;
  return 2 + control.index;
}

runtime::Point Headless::mouse_position() {
  return mouse;
}

// ---- the fake window tree
// ---------------------------------------------------------------------------

void Headless::add_window(WindowHandle parent, WindowHandle child) {
  children_[parent].push_back(child);
}

void Headless::remove_window(WindowHandle window) {
  for (auto& [parent, kids] : children_) std::erase(kids, window);
  children_.erase(window);
  procedures_.erase(window);
}

WindowHandle Headless::next_child(WindowHandle parent, WindowHandle after) {
  auto it = children_.find(parent);
  if (it == children_.end()) return 0;
  const std::vector<WindowHandle>& kids = it->second;
  if (after == 0) return kids.empty() ? 0 : kids.front();
  auto pos = std::find(kids.begin(), kids.end(), after);
  if (pos == kids.end() || ++pos == kids.end()) return 0;
  return *pos;
}

std::intptr_t Headless::default_procedure(WindowHandle window, std::uint32_t message,
                                          std::uintptr_t, std::intptr_t) {
  if (active) active->default_messages.emplace_back(window, message);
  return 1;
}

runtime::WindowProcedure Headless::install_procedure(WindowHandle window,
                                                     runtime::WindowProcedure procedure) {
  record("install_procedure", std::to_string(window));
  if (refuse_install.contains(window)) return nullptr;
  auto [it, fresh] = procedures_.try_emplace(window, &default_procedure);
  return std::exchange(it->second, procedure);
}

std::intptr_t Headless::call_procedure(runtime::WindowProcedure previous, WindowHandle window,
                                       std::uint32_t message, std::uintptr_t wparam,
                                       std::intptr_t lparam) {
  return previous ? previous(window, message, wparam, lparam) : 0;
}

std::intptr_t Headless::send(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                             std::intptr_t lparam) {
  auto it = procedures_.find(window);
  runtime::WindowProcedure procedure = it == procedures_.end() ? &default_procedure : it->second;
  return procedure(window, message, wparam, lparam);
}

// ---- services
// ---------------------------------------------------------------------------------------

runtime::Bytes Headless::fetch_url(const Text& address) {
  record("fetch_url", address);
  auto it = responses.find(address);
  return it == responses.end() ? runtime::Bytes{} : it->second;
}

Text Headless::run_directory() {
  return program_directory;
}

void Headless::run_program(const Text& command_line) {
  record("run_program", command_line);
}

void Headless::navigate_hyperlink(ControlId box) {
  const Text& address = control(box).hyperlink;
  if (!address.empty()) record("open_in_browser", address);
}

void Headless::open_url(const Text& address) {
  record("open_in_browser", address);
}

// ---- what happened
// ----------------------------------------------------------------------------------

Text Headless::edit_text(ControlId edit) const {
  return control(edit).text;
}
bool Headless::control_visible(ControlId c) const {
  return control(c).visible;
}
std::int32_t Headless::period(ControlId timer) const {
  return control(timer).period;
}
const std::vector<Navigation>& Headless::navigations(ControlId browser) const {
  return control(browser).navigations;
}

}  // namespace pelorin::headless
