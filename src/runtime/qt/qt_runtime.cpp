#include "runtime/qt/qt_runtime.h"

#include <unistd.h>
#include <xcb/xcb.h>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <cstdio>
#include <cstdlib>

#include "runtime/icon_file.h"
#include "runtime/posix/posix_services.h"
#include "runtime/qt/browser.h"
#include "runtime/qt/gbk.h"
#include "runtime/qt/widgets.h"
#include "runtime/timer_period.h"

namespace pelorin::qt {

using runtime::ControlId;
using runtime::Kind;
using runtime::Text;

namespace {

QColor rgb(std::uint32_t c) {
  return QColor::fromRgb(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF);
}

QString css_color(std::uint32_t c) {
  return rgb(c).name();
}

// A face of the template, falling back to the CJK fonts a Linux desktop has.
QFont font_of(const runtime::Font& f, const QFont& base) {
  QFont font = base;
  if (!f.face.empty()) {
    font.setFamilies({from_gbk(f.face), "SimSun", "Noto Sans CJK SC", "WenQuanYi Micro Hei"});
  }
  if (f.pixel_height > 0) font.setPixelSize(f.pixel_height);
  return font;
}

QIcon icon_of(std::span<const std::uint8_t> file) {
  QIcon icon;
  const auto images = runtime::parse_icon_file(file);
  if (!images) return icon;
  for (const runtime::IconImage& image : *images) {
    if (image.png) {
      QPixmap pixmap;
      pixmap.loadFromData(file.data() + image.offset, static_cast<uint>(image.size), "PNG");
      icon.addPixmap(pixmap);
      continue;
    }
    std::vector<std::uint32_t> argb = runtime::decode_argb(file, image);
    if (argb.empty()) continue;
    QImage img(reinterpret_cast<const uchar*>(argb.data()), image.width, image.height,
               QImage::Format_ARGB32);
    icon.addPixmap(QPixmap::fromImage(img.copy()));
  }
  return icon;
}

// Level 2 (中等) is the browser's own default size.
int font_size_px(int level) {
  constexpr int kSizes[] = {12, 14, 16, 20, 24};
  return kSizes[level < 0 ? 0 : (level > 4 ? 4 : level)];
}

// A main window whose close button destroys it, as the window runtime promises: no close query.
class MainWindow : public QMainWindow {
 public:
  using QMainWindow::QMainWindow;

 protected:
  void closeEvent(QCloseEvent*) override { deleteLater(); }
};

}  // namespace

// ---- life cycle
// ------------------------------------------------------------------------------------

QtRuntime::QtRuntime(int& argc, char** argv) {
  // Chromium's sandbox cannot start as root; for anyone else it stays on.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  app_ = std::make_unique<QApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName("pelorin");
  QGuiApplication::setDesktopFileName("pelorin");
  if (chdir(posix::run_directory().empty() ? "/" : posix::run_directory().c_str()) != 0) {
    std::perror("pelorin: chdir");
  }
  capture_ = std::make_unique<CaptureFilter>(*this);
}

QtRuntime::~QtRuntime() {
  delete main_.data();
  tray_.reset();
}

void QtRuntime::load_window(const runtime::WindowTemplate& t) {
  template_ = &t;
  if (!QGuiApplication::primaryScreen()) fatal_error(runtime::kWindowNotCreated);
  loading_ = true;
  // CustomizeWindowHint makes the window manager honour the buttons asked for: no maximise.
  auto* window =
      new MainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                  Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                  Qt::WindowCloseButtonHint);
  main_ = window;
  window->setWindowTitle(from_gbk(t.title));
  window->setWindowIcon(icon_of(t.icon));
  build_menus();
  auto* client = new QWidget(window);
  client->setObjectName("client");
  client->setFixedSize(t.outer_width - 6, t.client_height);
  window->setCentralWidget(client);
  QObject::connect(window, &QObject::destroyed, app_.get(), [this] {
    tray_.reset();
    QCoreApplication::quit();
  });

  controls_.assign(t.controls.size(), Control{});
  for (const runtime::ControlTemplate& row : t.controls) {
    QWidget* parent = row.parent == runtime::kMainWindow ? client : widget(row.parent);
    Control& c = controls_[row.id.index];
    QWidget* w = nullptr;
    const QFont font = font_of(row.font, QApplication::font());
    switch (row.kind) {
      case Kind::edit_box: {
        auto* edit = new QLineEdit(from_gbk(row.text), parent);
        edit->setStyleSheet(QString("QLineEdit { color: %1; background: %2; border: 1px solid "
                                    "#7a7a7a; padding: 0px 1px; }")
                                .arg(css_color(row.text_color.value_or(0)),
                                     css_color(row.background.value_or(0xFFFFFF))));
        w = edit;
        break;
      }
      case Kind::push_button: {
        auto* button = new QPushButton(from_gbk(row.text), parent);
        const auto clicked = row.clicked;
        QObject::connect(button, &QPushButton::clicked, window, [this, clicked] {
          if (clicked && events_live()) clicked();
        });
        w = button;
        break;
      }
      case Kind::label:
      case Kind::transparent_label: {
        auto* label = new QLabel(from_gbk(row.text), parent);
        label->setAlignment(
            (row.align == runtime::Align::center ? Qt::AlignHCenter : Qt::AlignLeft) |
            Qt::AlignVCenter);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, rgb(row.text_color.value_or(0)));
        label->setPalette(palette);
        w = label;
        break;
      }
      case Kind::shape:
        w = new ShapeWidget(parent, row);
        break;
      case Kind::tab_control: {
        auto* tabs = new TabControl(parent, row);
        tabs->bar()->setFont(font_of(row.tab_font, QApplication::font()));
        w = tabs;
        break;
      }
      case Kind::timer: {
        c.timer = new QTimer(window);
        c.timer->setTimerType(Qt::PreciseTimer);
        const ControlId id = row.id;
        QObject::connect(c.timer, &QTimer::timeout, window, [this, id] {
          if (auto tick = template_->controls[id.index].periodic; tick && events_live()) tick();
        });
        break;
      }
      case Kind::hyperlink_box:
        w = new QWidget(parent);
        break;
      case Kind::browser:
        w = make_browser(*this, row, parent, font_size_px(row.font_size_level));
        break;
      case Kind::simple_hypertext:
        w = new HypertextBox(parent, row);
        break;
    }
    if (!w) continue;
    c.widget = w;
    w->setObjectName(from_gbk(row.name));
    if (row.kind != Kind::tab_control && row.kind != Kind::simple_hypertext) w->setFont(font);
    w->setGeometry(row.rect.x, row.rect.y, row.rect.w, row.rect.h);
    w->setFocusPolicy(row.tab_stop ? Qt::StrongFocus : Qt::NoFocus);
    w->setVisible(row.visible);
    if (row.page >= 0) {
      auto* tabs = static_cast<TabControl*>(widget(row.parent));
      tabs->add_to_page(row.page, w);
      w->setVisible(row.visible && row.page == 0);
    }
  }

  window->adjustSize();
  window->setFixedSize(window->sizeHint());
  if (t.created) t.created();
  loading_ = false;
  if (!main_) return;
  // Centred as the outer size of the template gives it; move() places the frame's corner.
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  main_->move(screen.x() + (screen.width() - t.outer_width) / 2,
              screen.y() + (screen.height() - t.outer_height) / 2);
  main_->show();
}

void QtRuntime::build_menus() {
  QMenu* current = nullptr;
  for (const runtime::MenuItem& item : template_->menu) {
    if (item.level == 0) {
      current = main_->menuBar()->addMenu(from_gbk(item.title));
      menus_.push_back(current);
      continue;
    }
    QAction* action = current->addAction(from_gbk(item.title));
    auto selected = item.selected;
    QObject::connect(action, &QAction::triggered, main_, [this, selected] {
      if (selected && events_live()) selected();
    });
  }
}

int QtRuntime::message_loop() {
  if (!main_) return 0;
  QApplication::exec();
  return 0;
}

void QtRuntime::end_process(int code) {
  // Nothing may reach the capture procedure once the exit routine has released its registry.
  capture_.reset();
  end_of_run();
  std::fflush(nullptr);
  std::exit(code);
}

void QtRuntime::exit_program(int code) {
  end_process(code);
}

void QtRuntime::fatal_error(const Text& message) {
  QMessageBox box(QMessageBox::Critical, from_gbk(runtime::kErrorCaption),
                  from_gbk(runtime::fatal_error_text(message)), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
  end_process(-1);
}

void* QtRuntime::allocate(std::size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (!block) fatal_error(runtime::allocation_failure_message(bytes));
  return block;
}

void QtRuntime::release(void* block) {
  std::free(block);
}

// ---- properties
// ------------------------------------------------------------------------------------

Text QtRuntime::read_edit_text(ControlId edit) {
  auto* box = qobject_cast<QLineEdit*>(widget(edit));
  return box ? to_gbk(box->text()) : Text{};
}

bool QtRuntime::read_visible() {
  return main_ && main_->isVisible();
}

void QtRuntime::write_visible(bool shown) {
  if (main_) main_->setVisible(shown);
}

void QtRuntime::write_timer_period(ControlId timer, std::int32_t ms) {
  Control& c = controls_.at(timer.index);
  const runtime::PeriodChange change = runtime::apply_period(c.period, ms);
  if (!change.changed || !c.timer) return;
  c.period = change.period;
  c.timer->stop();
  if (change.system_ms > 0) c.timer->start(change.system_ms);
}

void QtRuntime::write_browser_address(ControlId browser, const Text& address) {
  if (auto* view = qobject_cast<QWebEngineView*>(widget(browser))) {
    view->setUrl(QUrl::fromUserInput(from_gbk(address)));
  }
}

void QtRuntime::write_hyperlink_address(ControlId box, const Text& address) {
  controls_.at(box.index).hyperlink = address;
}

// ---- windows, menus, tray, hotkey --------------------------------------------------------------

void QtRuntime::message_box(const Text& message, int) {
  QMessageBox box(QMessageBox::Information, from_gbk(runtime::kInformationCaption),
                  from_gbk(message), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

namespace {

// The notification area shows the 16 x 16 image of the icon file, centred in its slot and never
// scaled up; a file without one falls back to all of its images.
QIcon tray_icon_of(std::span<const std::uint8_t> file) {
  const auto images = runtime::parse_icon_file(file);
  if (images) {
    for (const runtime::IconImage& image : *images) {
      if (image.png || image.width != 16 || image.height != 16) continue;
      std::vector<std::uint32_t> argb = runtime::decode_argb(file, image);
      if (argb.empty()) break;
      const QImage img(reinterpret_cast<const uchar*>(argb.data()), image.width, image.height,
                       QImage::Format_ARGB32);
      return QIcon(QPixmap::fromImage(img.copy()));
    }
  }
  return icon_of(file);
}

// The tooltip as the notification area shows it: its first 62 bytes, lines broken at CR LF.
QString tray_tooltip_of(const Text& tooltip) {
  return from_gbk(text::cut(tooltip, 62)).replace("\r\n", "\n");
}

// The action code of a tray event: 1 left button, 2 left double click, 3 right button or the
// context-menu request; 0 for what the tool does not hear.
int tray_action(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      return runtime::kTrayLeftUp;
    case QSystemTrayIcon::DoubleClick:
      return runtime::kTrayLeftDoubleClick;
    case QSystemTrayIcon::Context:
      return runtime::kTrayRightUp;
    default:
      return 0;
  }
}

}  // namespace

void QtRuntime::set_tray_icon(std::span<const std::uint8_t> icon_file, const Text& tooltip) {
  if (!main_) return;
  if (!tray_) {
    tray_ = std::make_unique<QSystemTrayIcon>();
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, main_,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                       const int action = tray_action(reason);
                       if (action && template_->tray && events_live()) template_->tray(action);
                     });
  }
  tray_->setIcon(tray_icon_of(icon_file));
  tray_->setToolTip(tray_tooltip_of(tooltip));
  tray_->show();
}

QMenu* QtRuntime::popup_for(runtime::MenuId menu) {
  return menu.index >= 0 && static_cast<std::size_t>(menu.index) < menus_.size()
             ? menus_[static_cast<std::size_t>(menu.index)]
             : nullptr;
}

void QtRuntime::popup_menu(runtime::MenuId menu, int x, int y) {
  if (QMenu* m = popup_for(menu)) m->exec(QPoint(x, y));
}

namespace {

// Keeps the right button from picking an item of the tray popup: its presses and releases over
// the menu are dropped; one outside still closes the menu.
class LeftButtonPicks : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick) {
      return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    auto* menu = static_cast<QWidget*>(watched);
    return mouse->button() == Qt::RightButton && menu->rect().contains(mouse->position().toPoint());
  }
};

}  // namespace

void QtRuntime::popup_tray_menu(runtime::MenuId menu) {
  QMenu* m = popup_for(menu);
  if (!m) return;
  if (main_ && main_->isVisible()) {
    main_->raise();
    main_->activateWindow();
  }
  const QPoint cursor = QCursor::pos();
  m->ensurePolished();  // the size it will have on screen
  const QSize size = m->sizeHint();
  LeftButtonPicks left_only;
  m->installEventFilter(&left_only);
  m->exec(QPoint(cursor.x() - 5 - size.width(), cursor.y() - 5));
  m->removeEventFilter(&left_only);
}

void QtRuntime::destroy_window() {
  if (main_) main_->deleteLater();
}

runtime::WindowHandle QtRuntime::window_handle(ControlId control) {
  QWidget* w = control == runtime::kMainWindow ? main_.data() : widget(control);
  return reinterpret_cast<runtime::WindowHandle>(w);
}

runtime::Point QtRuntime::mouse_position() {
  const QPoint p = QCursor::pos();
  return {p.x(), p.y()};
}

// ---- the right-click capture over the widget tree ----------------------------------------------

runtime::WindowHandle QtRuntime::next_child(runtime::WindowHandle parent,
                                            runtime::WindowHandle after) {
  auto* p = reinterpret_cast<QWidget*>(parent);
  if (!p) return 0;
  bool seen = after == 0;
  for (QObject* child : p->children()) {
    if (!child->isWidgetType()) continue;
    if (seen) return reinterpret_cast<runtime::WindowHandle>(child);
    if (reinterpret_cast<runtime::WindowHandle>(child) == after) seen = true;
  }
  return 0;
}

namespace {
// Stands for the widget's own handling: calling it lets the event go on to the widget.
std::intptr_t qt_own_handling(runtime::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
  return 0;
}
const char* const kProcedureProperty = "pelorin_procedure";
}  // namespace

runtime::WindowProcedure QtRuntime::install_procedure(runtime::WindowHandle window,
                                                      runtime::WindowProcedure procedure) {
  auto* w = reinterpret_cast<QWidget*>(window);
  if (!w || !capture_) return nullptr;
  w->setProperty(kProcedureProperty, QVariant::fromValue(reinterpret_cast<quintptr>(procedure)));
  w->installEventFilter(capture_.get());
  return &qt_own_handling;
}

std::intptr_t QtRuntime::call_procedure(runtime::WindowProcedure previous,
                                        runtime::WindowHandle window, std::uint32_t message,
                                        std::uintptr_t wparam, std::intptr_t lparam) {
  if (previous == &qt_own_handling || previous == nullptr) {
    if (!passed_on_.empty()) passed_on_.back() = true;
    return 0;
  }
  return previous(window, message, wparam, lparam);
}

bool QtRuntime::deliver(QWidget* w, std::uint32_t message, std::intptr_t lparam) {
  const auto procedure =
      reinterpret_cast<runtime::WindowProcedure>(w->property(kProcedureProperty).value<quintptr>());
  if (!procedure) return false;
  passed_on_.push_back(false);
  procedure(reinterpret_cast<runtime::WindowHandle>(w), message, 0, lparam);
  const bool passed = passed_on_.back();
  passed_on_.pop_back();
  return !passed;
}

bool CaptureFilter::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType()) return false;
  auto* w = static_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::RightButton) return false;
      const QPoint at = mouse->position().toPoint();
      const std::intptr_t lparam =
          (static_cast<std::intptr_t>(at.y() & 0xFFFF) << 16) | (at.x() & 0xFFFF);
      const std::uint32_t message =
          event->type() == QEvent::MouseButtonPress     ? runtime::kRightButtonDown
          : event->type() == QEvent::MouseButtonRelease ? runtime::kRightButtonUp
                                                        : runtime::kRightButtonDoubleClick;
      return rt_.deliver(w, message, lparam);
    }
    case QEvent::ContextMenu: {
      // A mouse-made context menu follows the right button, which the capture swallows; one
      // from the keyboard is a message of its own.
      auto* menu = static_cast<QContextMenuEvent*>(event);
      if (menu->reason() == QContextMenuEvent::Mouse) return true;
      return rt_.deliver(w, runtime::kContextMenu, 0);
    }
    default:
      return false;
  }
}

void QtRuntime::raise_about_to_navigate(ControlId browser) {
  if (!events_live()) return;
  if (auto event = template_->controls[browser.index].about_to_navigate) event();
}

// ---- the hotkey: a grab of the key on the X root window
// ------------------------------------------

int QtRuntime::register_hotkey(ControlId target, int modifiers, int key) {
  auto* x11 = app_->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || key < 'A' || key > 'Z') return 0;
  xcb_connection_t* c = x11->connection();
  const xcb_setup_t* setup = xcb_get_setup(c);
  xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
  // The key code that carries the lower-case letter as its first key symbol.
  const std::uint32_t wanted = static_cast<std::uint32_t>(key - 'A' + 'a');
  auto reply = xcb_get_keyboard_mapping_reply(
      c,
      xcb_get_keyboard_mapping(
          c, setup->min_keycode,
          static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1)),
      nullptr);
  if (!reply) return 0;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
  std::uint8_t code = 0;
  for (int k = setup->min_keycode; k <= setup->max_keycode && !code; ++k) {
    if (syms[(k - setup->min_keycode) * reply->keysyms_per_keycode] == wanted) {
      code = static_cast<std::uint8_t>(k);
    }
  }
  std::free(reply);
  if (!code) return 0;
  std::uint16_t mods = 0;
  if (modifiers & runtime::kModCtrl) mods |= XCB_MOD_MASK_CONTROL;
  if (modifiers & runtime::kModShift) mods |= XCB_MOD_MASK_SHIFT;
  if (modifiers & runtime::kModAlt) mods |= XCB_MOD_MASK_1;
  // Caps Lock (Lock) and Num Lock (Mod2) must not keep the combination from matching.
  const std::uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                 XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
  bool taken = false;
  for (std::uint16_t lock : locks) {
    xcb_void_cookie_t cookie =
        xcb_grab_key_checked(c, 1, screen->root, static_cast<std::uint16_t>(mods | lock), code,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
      taken = true;
      std::free(error);
    }
  }
  if (taken) {
    // Another program holds the combination: let go of whatever part we got.
    for (std::uint16_t lock : locks) {
      xcb_ungrab_key(c, code, screen->root, static_cast<std::uint16_t>(mods | lock));
    }
    xcb_flush(c);
    return 0;
  }
  hotkey_code_ = code;
  hotkey_mods_ = mods;
  hotkey_root_ = screen->root;
  hotkey_target_ = target;
  hotkey_id_ = 1;
  if (!hotkey_filter_) {
    hotkey_filter_ = std::make_unique<HotkeyFilter>(*this);
    app_->installNativeEventFilter(hotkey_filter_.get());
  }
  return hotkey_id_;
}

void QtRuntime::raise_hotkey(std::uint32_t window, std::uint8_t keycode, std::uint16_t state) {
  constexpr std::uint16_t kRelevant =
      XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
  // Only a press the grab delivered counts: one typed into the tool's own windows is not the
  // hotkey (it reaches them only when the grab did not match).
  if (!hotkey_id_ || window != hotkey_root_) return;
  if (keycode != hotkey_code_ || (state & kRelevant) != hotkey_mods_) return;
  if (!events_live()) return;
  if (auto feedback = template_->controls[hotkey_target_.index].feedback) feedback(hotkey_id_, 0);
}

bool HotkeyFilter::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
  if (type != "xcb_generic_event_t") return false;
  auto* event = static_cast<xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
  auto* press = static_cast<xcb_key_press_event_t*>(message);
  rt_.raise_hotkey(press->event, press->detail, press->state);
  return false;
}

// ---- services
// ------------------------------------------------------------------------------------

runtime::Bytes QtRuntime::fetch_url(const Text& address) {
  return posix::fetch_url(address);
}

Text QtRuntime::run_directory() {
  return posix::run_directory();
}

void QtRuntime::run_program(const Text& command_line) {
  posix::run_program(command_line);
}

void QtRuntime::open_in_browser(const Text& address) {
  const QString url = from_gbk(address);
  // The desktop's "open" for the address; when that is refused, the system's web browser.
  if (!QDesktopServices::openUrl(QUrl::fromUserInput(url))) {
    posix::spawn_detached({"x-www-browser", to_gbk(url)});
  }
}

void QtRuntime::navigate_hyperlink(ControlId box) {
  const Text& address = controls_.at(box.index).hyperlink;
  if (!address.empty()) open_in_browser(address);
}

void QtRuntime::open_url(const Text& address) {
  open_in_browser(address);
}

// ---- the run
// -------------------------------------------------------------------------------------

int run(int& argc, char** argv, const runtime::WindowTemplate& t, int (*entry)()) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::fprintf(stderr,
                 "pelorin: no X display (DISPLAY is not set); run it on an X11 desktop, or try "
                 "'make demo' for a run under Xvfb.\n");
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QtRuntime rt(argc, argv);
  return runtime::start(rt, t, entry);
}

}  // namespace pelorin::qt
