// The right-click capture on the headless runtime's fake window tree: the walk, the registry and
// the capture procedure, and the banner's about-to-navigate event that drives them.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "app/app.h"
#include "banner/capture.h"
#include "controls.h"
#include "runtime/headless/headless.h"
#include "runtime/runtime.h"

namespace pelorin {
namespace {

using banner::SubclassRecord;
using headless::Headless;
using runtime::WindowHandle;

// What the test's own click routines saw.
struct Click {
  int routine, x, y;
  friend bool operator==(const Click&, const Click&) = default;
};
std::vector<Click> clicks;
void first_routine(int x, int y) {
  clicks.push_back({1, x, y});
}
void second_routine(int x, int y) {
  clicks.push_back({2, x, y});
}

// The message's position as the system packs it: x in the low 16 bits, y in the high 16 bits.
std::intptr_t position(int x, int y) {
  return static_cast<std::intptr_t>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                                    static_cast<std::uint32_t>(x & 0xFFFF));
}

// The banner's window tree, three levels below the root:
//   1000 ─┬─ 1001 ─┬─ 1011 ── 1111
//         │        └─ 1012
//         └─ 1002 ── 1021
class Capture : public ::testing::Test {
 protected:
  void SetUp() override {
    clicks.clear();
    h.add_window(1000, 1001);
    h.add_window(1001, 1011);
    h.add_window(1011, 1111);
    h.add_window(1001, 1012);
    h.add_window(1000, 1002);
    h.add_window(1002, 1021);
  }

  // Runs the tool with `session` as the user, inside the message loop.
  void run(const std::function<void()>& session) {
    ASSERT_EQ(h.run(app::main_window(), &app::entry_routine, session), 0);
  }

  static std::vector<WindowHandle> registered() {
    std::vector<WindowHandle> out;
    for (const SubclassRecord& r : banner::registry->records) out.push_back(r.window);
    return out;
  }

  // The windows the capture procedure was installed on, in order.
  std::vector<WindowHandle> installs() const {
    std::vector<WindowHandle> out;
    for (const headless::Call& c : h.calls()) {
      if (c.op == "install_procedure") out.push_back(std::stoll(c.arg));
    }
    return out;
  }

  bool reached_page(WindowHandle w, std::uint32_t message) const {
    for (const auto& [window, m] : h.default_messages) {
      if (window == w && m == message) return true;
    }
    return false;
  }

  Headless h;
};

const std::vector<WindowHandle> kPreOrder = {1000, 1001, 1011, 1111, 1012, 1002, 1021};

TEST_F(Capture, WalksThePreOrderDepthFirstWithChildrenInListedOrder) {
  run([&] {
    EXPECT_TRUE(registered().empty()) << "the registry starts empty";
    banner::capture_right_clicks(1000, &first_routine);
    EXPECT_EQ(registered(), kPreOrder);
    EXPECT_EQ(installs(), kPreOrder);
  });
}

TEST_F(Capture, PassesOverRegisteredWindowsButWalksTheirChildren) {
  run([&] {
    banner::capture_right_clicks(1001, &first_routine);
    EXPECT_EQ(registered(), (std::vector<WindowHandle>{1001, 1011, 1111, 1012}));
    // Windows made by the browser since: one below a registered window, one deeper still.
    h.add_window(1001, 1013);
    h.add_window(1111, 1112);
    banner::capture_right_clicks(1000, &first_routine);
    EXPECT_EQ(registered(),
              (std::vector<WindowHandle>{1001, 1011, 1111, 1012, 1000, 1112, 1013, 1002, 1021}));
    EXPECT_EQ(installs(),
              (std::vector<WindowHandle>{1001, 1011, 1111, 1012, 1000, 1112, 1013, 1002, 1021}));
  });
}

TEST_F(Capture, TheSameRootTwiceAppendsEachWindowOnceAndKeepsTheFirstRoutine) {
  run([&] {
    banner::capture_right_clicks(1000, &first_routine);
    banner::capture_right_clicks(1000, &second_routine);
    EXPECT_EQ(registered(), kPreOrder);
    EXPECT_EQ(installs(), kPreOrder);
    for (const SubclassRecord& r : banner::registry->records) EXPECT_EQ(r.click, &first_routine);
    EXPECT_EQ(h.send(1111, runtime::kRightButtonDown, 0, position(3, 4)), 0);
    EXPECT_EQ(clicks, (std::vector<Click>{{1, 3, 4}}));
  });
}

TEST_F(Capture, AFailedInstallIsRecordedAndPassedOverLater) {
  h.refuse_install = {1011};
  run([&] {
    banner::capture_right_clicks(1000, &first_routine);
    EXPECT_EQ(registered(), kPreOrder) << "recorded all the same, children walked";
    const auto record = banner::find_subclass_record(1011);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->previous, nullptr);
    // The window kept its own procedure: its right clicks reach the page.
    h.send(1011, runtime::kRightButtonDown, 0, position(1, 1));
    EXPECT_TRUE(clicks.empty());
    EXPECT_TRUE(reached_page(1011, runtime::kRightButtonDown));

    banner::capture_right_clicks(1000, &first_routine);
    EXPECT_EQ(installs(), kPreOrder) << "no second try";
    EXPECT_EQ(registered(), kPreOrder);
  });
}

TEST_F(Capture, ANewWindowWithADeadWindowsHandleCountsAsCaptured) {
  run([&] {
    banner::capture_right_clicks(1000, &first_routine);
    h.remove_window(1012);
    h.add_window(1001, 1012);  // a new window, given the dead one's handle
    banner::capture_right_clicks(1000, &first_routine);
    EXPECT_EQ(installs(), kPreOrder);
    EXPECT_EQ(registered(), kPreOrder);
    // It keeps its own procedure.
    h.send(1012, runtime::kRightButtonDown, 0, position(5, 5));
    EXPECT_TRUE(clicks.empty());
    EXPECT_TRUE(reached_page(1012, runtime::kRightButtonDown));
  });
}

// ---- the capture procedure
// ------------------------------------------------------------------------

struct Passed {
  WindowHandle window;
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
  friend bool operator==(const Passed&, const Passed&) = default;
};
std::vector<Passed> passed;
std::intptr_t previous_procedure(WindowHandle w, std::uint32_t m, std::uintptr_t wp,
                                 std::intptr_t lp) {
  passed.push_back({w, m, wp, lp});
  return 4242;
}

struct MessageCase {
  const char* name;
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
  bool clicked;  // the click routine ran, with (x, y)
  int x, y;
  bool passed_on;  // reached the previous procedure unchanged, its result returned
};

const MessageCase kMessages[] = {
    {"RightPressCallsTheRoutine", runtime::kRightButtonDown, 2, position(10, 20), true, 10, 20,
     false},
    {"RightPressLeftOfAndAboveIsNegative", runtime::kRightButtonDown, 2, position(-5, -7), true, -5,
     -7, false},
    {"RightPressAtTheFarCorner", runtime::kRightButtonDown, 2, position(32767, -32768), true, 32767,
     -32768, false},
    {"RightReleaseIsSwallowed", runtime::kRightButtonUp, 0, position(10, 20), false, 0, 0, false},
    {"RightDoubleClickGoesOn", runtime::kRightButtonDoubleClick, 2, position(10, 20), false, 0, 0,
     true},
    {"ContextMenuGoesOn", runtime::kContextMenu, 1000, position(-1, -1), false, 0, 0, true},
    {"LeftPressGoesOn", 0x0201, 1, position(4, 4), false, 0, 0, true},
    {"MouseMoveGoesOn", 0x0200, 0, position(9, 8), false, 0, 0, true},
};

void PrintTo(const MessageCase& c, std::ostream* os) {
  *os << c.name;
}

class CaptureProcedure : public ::testing::TestWithParam<MessageCase> {};

TEST_P(CaptureProcedure, SwallowsRightPressesAndReleasesAndHandsOnTheRest) {
  const MessageCase& c = GetParam();
  clicks.clear();
  passed.clear();
  Headless h;
  ASSERT_EQ(h.run(app::main_window(), &app::entry_routine,
                  [&] {
                    banner::registry->records.push_back({77, &previous_procedure, &first_routine});
                    const std::intptr_t result =
                        banner::capture_procedure(77, c.message, c.wparam, c.lparam);
                    if (c.clicked) {
                      EXPECT_EQ(clicks, (std::vector<Click>{{1, c.x, c.y}}));
                    } else {
                      EXPECT_TRUE(clicks.empty());
                    }
                    if (c.passed_on) {
                      EXPECT_EQ(passed, (std::vector<Passed>{{77, c.message, c.wparam, c.lparam}}));
                      EXPECT_EQ(result, 4242);
                    } else {
                      EXPECT_TRUE(passed.empty());
                      EXPECT_EQ(result, 0);
                    }
                  }),
            0);
}

INSTANTIATE_TEST_SUITE_P(Messages, CaptureProcedure, ::testing::ValuesIn(kMessages),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Capture, MessagesOfTheFakeTreeGoThroughTheInstalledProcedure) {
  run([&] {
    banner::capture_right_clicks(1000, &first_routine);
    EXPECT_EQ(h.send(1021, runtime::kRightButtonDown, 0, position(-2, 6)), 0);
    EXPECT_EQ(h.send(1021, runtime::kRightButtonUp, 0, position(-2, 6)), 0);
    EXPECT_EQ(h.send(1021, runtime::kRightButtonDoubleClick, 0, position(-2, 6)), 1);
    EXPECT_EQ(h.send(1021, runtime::kContextMenu, 0, 0), 1);
    EXPECT_EQ(clicks, (std::vector<Click>{{1, -2, 6}}));
    EXPECT_EQ(h.default_messages,
              (std::vector<std::pair<WindowHandle, std::uint32_t>>{
                  {1021, runtime::kRightButtonDoubleClick}, {1021, runtime::kContextMenu}}));
  });
}

TEST_F(Capture, AMessageWithoutARecordGoesToTheDefaultHandling) {
  run([&] {
    EXPECT_EQ(banner::capture_procedure(555, runtime::kRightButtonDown, 0, position(1, 2)), 0);
    EXPECT_TRUE(clicks.empty());
  });
}

// ---- the banner: about-to-navigate, the popup at the cursor, the menu
// ----------------------------------

TEST_F(Capture, ARightClickOnTheBannerOpensTheMainMenuAtTheMouseAndHideWorks) {
  h.mouse = {412, 377};
  std::vector<std::pair<int, int>> popups;
  h.on_popup = [&](runtime::MenuId menu, int x, int y, bool tray) -> runtime::Text {
    EXPECT_EQ(menu.index, 0) << "the main menu";
    EXPECT_FALSE(tray);
    popups.emplace_back(x, y);
    return "隐藏窗口";
  };
  run([&] {
    h.browser_about_to_navigate(ctl::超文本浏览框2);
    EXPECT_EQ(registered(), kPreOrder);
    EXPECT_EQ(h.send(1111, runtime::kRightButtonDown, 0, position(-3, 9)), 0);
    EXPECT_EQ(popups, (std::vector<std::pair<int, int>>{{412, 377}}))
        << "top-left at the cursor, whatever the press position";
    EXPECT_FALSE(h.window_shown()) << "隐藏窗口 hid the window";
    EXPECT_TRUE(h.tray_present());
    EXPECT_EQ(h.send(1111, runtime::kRightButtonUp, 0, position(-3, 9)), 0);
    EXPECT_TRUE(h.default_messages.empty()) << "neither press nor release reached the page";
  });
}

// A capture from inside the modal menu: the registry grows (and is reallocated) under the capture
// procedure that opened the menu; that procedure, and the ones re-entered meanwhile, go on
// unharmed.
TEST_F(Capture, TheRegistryGrowsDuringAClickRoutine) {
  std::size_t before = 0;
  h.on_popup = [&](runtime::MenuId, int, int, bool) -> runtime::Text {
    before = banner::registry->records.size();
    for (WindowHandle w = 2000; w < 2300; ++w) h.add_window(1021, w);
    h.browser_about_to_navigate(ctl::超文本浏览框2);
    // The thread goes on dispatching to captured windows while the menu is open.
    EXPECT_EQ(h.send(1111, runtime::kRightButtonUp, 0, 0), 0);
    EXPECT_EQ(h.send(2299, runtime::kRightButtonDoubleClick, 0, 0), 1);
    return "隐藏窗口";
  };
  run([&] {
    h.browser_about_to_navigate(ctl::超文本浏览框2);
    EXPECT_EQ(h.send(1111, runtime::kRightButtonDown, 0, position(1, 1)), 0);
    EXPECT_EQ(before, kPreOrder.size());
    EXPECT_EQ(banner::registry->records.size(), kPreOrder.size() + 300);
    EXPECT_EQ(registered().back(), 2299);
    EXPECT_FALSE(h.window_shown());
    // The press neither reached the page nor was handed on after the menu closed.
    EXPECT_EQ(h.default_messages, (std::vector<std::pair<WindowHandle, std::uint32_t>>{
                                      {2299, runtime::kRightButtonDoubleClick}}));
    EXPECT_EQ(h.send(2150, runtime::kRightButtonUp, 0, 0), 0) << "the new windows are captured";
  });
}

// The created event stands in for everything raised while the window loads.
Headless* loading_run = nullptr;
void created_with_a_navigation() {
  loading_run->browser_about_to_navigate(ctl::超文本浏览框2);
  app::on_created();
}

TEST_F(Capture, AnAboutToNavigateEventDuringLoadingTriggersNoCapture) {
  runtime::WindowTemplate t = app::main_window();
  t.created = &created_with_a_navigation;
  loading_run = &h;
  ASSERT_EQ(h.run(t, &app::entry_routine,
                  [&] {
                    EXPECT_TRUE(installs().empty());
                    EXPECT_TRUE(registered().empty());
                    h.browser_about_to_navigate(ctl::超文本浏览框2);
                    EXPECT_EQ(registered(), kPreOrder) << "the first event after loading";
                  }),
            0);
}

TEST_F(Capture, TheRegistryIsReleasedByTheExitRoutine) {
  run([&] { h.browser_about_to_navigate(ctl::超文本浏览框2); });
  EXPECT_EQ(banner::registry, nullptr);
  EXPECT_EQ(h.live_allocations(), 0u);
}

}  // namespace
}  // namespace pelorin
