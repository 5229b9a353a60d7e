// The notification-area icon, the hotkey and the two popups on the Qt backend, with trayer as the
// notification area: when the icon appears, what each kind of click on it does, and where the
// popups open.
#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <vector>

#include "app/app.h"
#include "runtime/icon_file.h"
#include "runtime/qt/gbk.h"
#include "shell/shell.h"
#include "shell/tray_icon.h"
#include "support/param_name.h"
#include "support/qt_session.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using testing_support::run_qt_session;
using testing_support::spin_for;
using testing_support::spin_until;

QAction* main_menu_item(qt::QtRuntime& rt, const QString& title) {
  for (QAction* item : rt.main_window()->menuBar()->actions()[0]->menu()->actions()) {
    if (item->text() == title) return item;
  }
  return nullptr;
}

QStringList titles(QMenu* menu) {
  QStringList out;
  for (QAction* a : menu->actions()) out << a->text();
  return out;
}

const QStringList kMainMenuItems{"隐藏窗口", "显示界面", "退出程序", "官方网站"};

// How a tooltip reads in the notification area.
QString shown_tooltip(const char* gbk) {
  return qt::from_gbk(gbk).replace("\r\n", "\n");
}

// Once a popup menu is open, calls `inspect` with it inside the menu's own loop, then closes the
// menu if `inspect` left it open. Call it before the call that opens the popup.
void when_popup_opens(std::function<void(QMenu*)> inspect, bool* opened = nullptr) {
  auto* poll = new QTimer;
  auto started = std::chrono::steady_clock::now();
  QObject::connect(poll, &QTimer::timeout, [=] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    const bool late = std::chrono::steady_clock::now() - started > 10s;
    if ((!menu || !menu->isVisible()) && !late) return;
    poll->stop();
    poll->deleteLater();
    if (!menu) return;
    if (opened) *opened = true;
    inspect(menu);
    if (menu->isVisible()) menu->close();
  });
  poll->start(20);
}

void press_alt_e() {
  QProcess::execute("xdotool", {"key", "alt+e"});
}

TEST(QtTray, TheIconAppearsOnTheFirstHideWithTheSmallImageAndTheClickHint) {
  const int code = run_qt_session([](qt::QtRuntime& rt) {
    ASSERT_TRUE(spin_until([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
        << "trayer runs as the notification area";
    EXPECT_EQ(rt.tray_icon(), nullptr) << "no icon before the first hide";

    press_alt_e();
    ASSERT_TRUE(spin_until([&] { return !rt.main_window()->isVisible(); })) << "Alt+E hides";
    QSystemTrayIcon* tray = rt.tray_icon();
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(tray->isVisible());
    EXPECT_EQ(tray->toolTip(), shown_tooltip(shell::kClickHint));
    EXPECT_EQ(tray->icon().availableSizes(), QList<QSize>{QSize(16, 16)});
    // Its pixels are those of the icon file's 16 px image.
    const auto images = runtime::parse_icon_file(shell::kTrayIcon);
    ASSERT_TRUE(images.has_value());
    std::vector<std::uint32_t> argb = runtime::decode_argb(shell::kTrayIcon, images->back());
    const QImage small(reinterpret_cast<const uchar*>(argb.data()), 16, 16, QImage::Format_ARGB32);
    EXPECT_EQ(
        tray->icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
        small.convertToFormat(QImage::Format_ARGB32_Premultiplied));

    press_alt_e();
    ASSERT_TRUE(spin_until([&] { return rt.main_window()->isVisible(); })) << "Alt+E shows";
    EXPECT_EQ(rt.tray_icon(), tray) << "the same icon, renewed";
    EXPECT_TRUE(tray->isVisible());
  });
  EXPECT_EQ(code, 0);
}

TEST(QtTray, ATooltipShowsItsFirst62BytesAndItsLineBreak) {
  run_qt_session([](qt::QtRuntime& rt) {
    rt.set_tray_icon(shell::kTrayIcon, std::string(shell::kHotkeyHint) + "\xB8\xFC\xB6\xE0");
    ASSERT_NE(rt.tray_icon(), nullptr);
    EXPECT_EQ(rt.tray_icon()->toolTip(), shown_tooltip(shell::kHotkeyHint));
    rt.set_tray_icon(shell::kTrayIcon, std::string(61, 'a') + "\xCF\xD4");  // a pair over byte 62
    EXPECT_EQ(rt.tray_icon()->toolTip(), QString(61, 'a'));
  });
}

struct Activation {
  const char* name;
  QSystemTrayIcon::ActivationReason reason;
  bool shows;        // the window comes back
  bool hotkey_hint;  // the tray handler ran
  bool opens_menu;
};
void PrintTo(const Activation& row, std::ostream* os) {
  *os << row.name;
}

class QtTrayActivation : public testing::TestWithParam<Activation> {};

TEST_P(QtTrayActivation, EachReasonIsItsActionCode) {
  const Activation& a = GetParam();
  run_qt_session([&](qt::QtRuntime& rt) {
    main_menu_item(rt, "隐藏窗口")->trigger();
    ASSERT_FALSE(rt.main_window()->isVisible());
    ASSERT_NE(rt.tray_icon(), nullptr);

    bool opened = false;
    QStringList items;
    if (a.opens_menu) when_popup_opens([&](QMenu* m) { items = titles(m); }, &opened);
    Q_EMIT rt.tray_icon()->activated(a.reason);
    spin_for(200ms);

    EXPECT_EQ(rt.main_window()->isVisible(), a.shows);
    EXPECT_EQ(rt.tray_icon()->toolTip(),
              shown_tooltip(a.hotkey_hint ? shell::kHotkeyHint : shell::kClickHint));
    EXPECT_EQ(opened, a.opens_menu);
    if (a.opens_menu) {
      EXPECT_EQ(items, kMainMenuItems);
    }
  });
}

INSTANTIATE_TEST_SUITE_P(
    Qt, QtTrayActivation,
    testing::Values(
        Activation{"left_click_is_1_and_shows", QSystemTrayIcon::Trigger, true, true, false},
        Activation{"double_click_is_2_and_only_renews", QSystemTrayIcon::DoubleClick, false, true,
                   false},
        Activation{"right_click_is_3_and_opens_the_menu", QSystemTrayIcon::Context, false, true,
                   true},
        Activation{"middle_click_is_not_heard", QSystemTrayIcon::MiddleClick, false, false, false},
        Activation{"unknown_is_not_heard", QSystemTrayIcon::Unknown, false, false, false}),
    testing_support::ByName());

// Where a popup opens and which buttons pick its items.
struct Popup {
  const char* name;
  QPoint cursor;
  std::function<void(qt::QtRuntime&)> open;
  std::function<QPoint(QRect)> corner;  // the corner of the menu that lies at `expected`
  QPoint expected;
  bool right_button_picks;
};
void PrintTo(const Popup& row, std::ostream* os) {
  *os << row.name;
}

class QtPopups : public testing::TestWithParam<Popup> {};

TEST_P(QtPopups, OpenWhereTheyMustAndPickWithTheirButtons) {
  const Popup& p = GetParam();
  run_qt_session([&](qt::QtRuntime& rt) {
    main_menu_item(rt, "隐藏窗口")->trigger();
    ASSERT_FALSE(rt.main_window()->isVisible());
    QCursor::setPos(p.cursor);
    ASSERT_TRUE(spin_until([&] { return QCursor::pos() == p.cursor; }));

    bool opened = false;
    QRect at;
    QStringList items;
    bool open_after_right = false;
    when_popup_opens(
        [&](QMenu* m) {
          at = m->geometry();
          items = titles(m);
          const QPoint show_item = m->actionGeometry(m->actions()[1]).center();
          QTest::mouseClick(m, Qt::RightButton, {}, show_item);
          open_after_right = m->isVisible();
          if (open_after_right) QTest::mouseClick(m, Qt::LeftButton, {}, show_item);
        },
        &opened);
    p.open(rt);

    ASSERT_TRUE(opened);
    EXPECT_EQ(items, kMainMenuItems);
    EXPECT_EQ(p.corner(at), p.expected)
        << "menu at " << at.x() << "," << at.y() << " " << at.width() << "x" << at.height();
    EXPECT_EQ(open_after_right, !p.right_button_picks);
    EXPECT_TRUE(rt.main_window()->isVisible()) << "a button picked 显示界面";
  });
}

INSTANTIATE_TEST_SUITE_P(
    Qt, QtPopups,
    testing::Values(Popup{"at_cursor_top_left_at_the_cursor",
                          {500, 300},
                          [](qt::QtRuntime&) { shell::popup_at_cursor(1, 1); },
                          [](QRect r) { return r.topLeft(); },
                          {500, 300},
                          true},
                    Popup{"tray_top_right_5px_left_of_and_above_the_cursor",
                          {700, 500},
                          [](qt::QtRuntime& rt) { rt.popup_tray_menu(shell::kMainMenu); },
                          // The corner of the outer edge: the first pixel right of the menu.
                          [](QRect r) { return QPoint(r.x() + r.width(), r.y()); },
                          {695, 495},
                          false}),
    testing_support::ByName());

TEST(QtTray, QuitFromTheTrayPopupEndsTheRunAndRemovesTheIcon) {
  const int code = run_qt_session([](qt::QtRuntime& rt) {
    main_menu_item(rt, "隐藏窗口")->trigger();
    ASSERT_NE(rt.tray_icon(), nullptr);
    when_popup_opens([](QMenu* m) {
      QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(m->actions()[2]).center());
    });
    Q_EMIT rt.tray_icon()->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(spin_until([&] { return rt.main_window() == nullptr; })) << "window destroyed";
    EXPECT_EQ(rt.tray_icon(), nullptr) << "the icon went with the window";
  });
  EXPECT_EQ(code, 0);
}

// The key code whose first key symbol is `letter`.
xcb_keycode_t keycode_of(xcb_connection_t* c, char letter) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
      c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
  if (!reply) return 0;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
  xcb_keycode_t code = 0;
  for (int k = 0; k < count && !code; ++k) {
    if (syms[k * reply->keysyms_per_keycode] == static_cast<xcb_keysym_t>(letter)) {
      code = static_cast<xcb_keycode_t>(setup->min_keycode + k);
    }
  }
  std::free(reply);
  return code;
}

TEST(QtTray, WhenAnotherProgramHoldsAltETheToolGoesOnWithoutIt) {
  // Another X client grabs Alt+E first; the tool's own grab then fails with an X error.
  xcb_connection_t* other = xcb_connect(nullptr, nullptr);
  ASSERT_EQ(xcb_connection_has_error(other), 0);
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
  const xcb_keycode_t e = keycode_of(other, 'e');
  ASSERT_NE(e, 0);
  const int locks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
  for (int lock : locks) {
    xcb_void_cookie_t grab =
        xcb_grab_key_checked(other, 1, root, static_cast<std::uint16_t>(XCB_MOD_MASK_1 | lock), e,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    ASSERT_EQ(xcb_request_check(other, grab), nullptr);
  }

  const int code = run_qt_session([](qt::QtRuntime& rt) {
    press_alt_e();
    spin_for(500ms);
    EXPECT_TRUE(rt.main_window()->isVisible()) << "the other program has the key";
    EXPECT_EQ(rt.tray_icon(), nullptr);
    main_menu_item(rt, "隐藏窗口")->trigger();
    ASSERT_NE(rt.tray_icon(), nullptr) << "the icon comes with the hide command";
    Q_EMIT rt.tray_icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(rt.main_window()->isVisible());
  });
  EXPECT_EQ(code, 0);
  xcb_disconnect(other);
}

}  // namespace
}  // namespace pelorin
