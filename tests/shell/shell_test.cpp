// Hiding to the notification area and back, on the headless runtime: the states of window and
// icon under every event, the tooltips and their byte counts, the menu commands, the hotkey's
// registration, and the icon image carried in the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "addresses.h"
#include "app/app.h"
#include "app/program_icon.h"
#include "controls.h"
#include "runtime/headless/headless.h"
#include "runtime/icon_file.h"
#include "shell/shell.h"
#include "shell/tray_icon.h"
#include "support/param_name.h"

namespace pelorin {
namespace {

using headless::Headless;
using runtime::Text;

// ---- the states of window and icon -------------------------------------------------------------

// A: shown, no icon. B: hidden, click hint. C: shown, click hint. D: hotkey hint, shown or hidden.
enum class At { A, B, C, D_shown, D_hidden, gone, other };

const char* name_of(At at) {
  switch (at) {
    case At::A:
      return "A";
    case At::B:
      return "B";
    case At::C:
      return "C";
    case At::D_shown:
      return "D, shown";
    case At::D_hidden:
      return "D, hidden";
    case At::gone:
      return "gone";
    case At::other:
      return "other";
  }
  return "?";
}

// The state as a user sees it: the window, the icon and its tooltip.
At observe(const Headless& h) {
  if (!h.window_exists()) return h.tray_present() ? At::other : At::gone;
  const bool shown = h.window_shown();
  if (!h.tray_present()) return shown ? At::A : At::other;
  if (h.tray_tooltip() == shell::kClickHint) return shown ? At::C : At::B;
  if (h.tray_tooltip() == shell::kHotkeyHint) return shown ? At::D_shown : At::D_hidden;
  return At::other;
}

// The shortest way from the start to each state.
void reach(Headless& h, At at) {
  switch (at) {
    case At::B:
      h.press_hotkey();
      break;
    case At::C:
      h.press_hotkey();
      h.press_hotkey();
      break;
    case At::D_shown:
      h.press_hotkey();
      h.tray_event(runtime::kTrayLeftUp);
      break;
    case At::D_hidden:
      h.press_hotkey();
      h.tray_event(runtime::kTrayLeftDoubleClick);
      break;
    default:
      break;
  }
}

using Event = std::function<void(Headless&)>;
const Event alt_e = [](Headless& h) { h.press_hotkey(); };
const Event hide = [](Headless& h) { h.choose("隐藏窗口"); };
const Event show = [](Headless& h) { h.choose("显示界面"); };
const Event quit = [](Headless& h) { h.choose("退出程序"); };
const Event tray1 = [](Headless& h) { h.tray_event(1); };
const Event tray2 = [](Headless& h) { h.tray_event(2); };
const Event tray3 = [](Headless& h) { h.tray_event(3); };

// The runtime calls that change what the user sees, in order.
const std::vector<Text> kVisibleOps{
    "show", "hide", "set_tray_icon", "popup_tray_menu", "destroy_window", "window_destroyed"};

struct Transition {
  const char* name;
  At from;
  Event event;
  At to;
  std::vector<Text> ops;  // the visible calls the event makes
};
void PrintTo(const Transition& row, std::ostream* os) {
  *os << row.name;
}

class StateTable : public testing::TestWithParam<Transition> {};

TEST_P(StateTable, EachEventMovesWindowAndIconAsTheTableSays) {
  const Transition& t = GetParam();
  Headless h;
  std::vector<std::pair<int, bool>> popups;  // menu, from the tray
  Text tooltip_in_popup;
  h.on_popup = [&](runtime::MenuId menu, int, int, bool tray) {
    popups.emplace_back(menu.index, tray);
    tooltip_in_popup = h.tray_tooltip();
    return Text{};  // closed without a choice
  };
  const int code = h.run(app::main_window(), &app::entry_routine, [&] {
    reach(h, t.from);
    ASSERT_EQ(name_of(observe(h)), name_of(t.from)) << "the way to the start state";
    const std::size_t before = h.calls().size();
    t.event(h);
    h.advance(1);  // the message loop runs again
    EXPECT_EQ(name_of(observe(h)), name_of(t.to));

    std::vector<Text> ops;
    for (std::size_t i = before; i < h.calls().size(); ++i) {
      const Text& op = h.calls()[i].op;
      if (std::find(kVisibleOps.begin(), kVisibleOps.end(), op) != kVisibleOps.end()) {
        ops.push_back(op);
      }
    }
    EXPECT_EQ(ops, t.ops);
    if (h.tray_present()) {
      EXPECT_EQ(h.tray_icon_bytes(), 99678u);
    }
  });
  EXPECT_EQ(code, 0);
  const bool opens_menu = std::find(t.ops.begin(), t.ops.end(), "popup_tray_menu") != t.ops.end();
  if (opens_menu) {
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0], std::make_pair(shell::kMainMenu.index, true)) << "the main menu";
    EXPECT_EQ(tooltip_in_popup, shell::kHotkeyHint) << "the tooltip is set before the menu";
  } else {
    EXPECT_TRUE(popups.empty());
  }
}

const std::vector<Text> kHideAndIcon{"hide", "set_tray_icon"};
const std::vector<Text> kShowAndIcon{"show", "set_tray_icon"};
const std::vector<Text> kIconAndShow{"set_tray_icon", "show"};
const std::vector<Text> kIconAndMenu{"set_tray_icon", "popup_tray_menu"};
const std::vector<Text> kQuit{"hide", "destroy_window", "window_destroyed"};

INSTANTIATE_TEST_SUITE_P(
    Shell, StateTable,
    testing::Values(
        Transition{"alt_e_from_A", At::A, alt_e, At::B, kHideAndIcon},
        Transition{"alt_e_from_B", At::B, alt_e, At::C, kShowAndIcon},
        Transition{"alt_e_from_C", At::C, alt_e, At::B, kHideAndIcon},
        Transition{"alt_e_from_D_shown", At::D_shown, alt_e, At::B, kHideAndIcon},
        Transition{"alt_e_from_D_hidden", At::D_hidden, alt_e, At::C, kShowAndIcon},
        Transition{"hide_from_A", At::A, hide, At::B, kHideAndIcon},
        Transition{"hide_from_B", At::B, hide, At::B, kHideAndIcon},
        Transition{"hide_from_C", At::C, hide, At::B, kHideAndIcon},
        Transition{"hide_from_D_shown", At::D_shown, hide, At::B, kHideAndIcon},
        Transition{"hide_from_D_hidden", At::D_hidden, hide, At::B, kHideAndIcon},
        Transition{"show_from_A", At::A, show, At::A, {"show"}},
        Transition{"show_from_B", At::B, show, At::C, {"show"}},
        Transition{"show_from_C", At::C, show, At::C, {"show"}},
        Transition{"show_from_D_shown", At::D_shown, show, At::D_shown, {"show"}},
        Transition{"show_from_D_hidden", At::D_hidden, show, At::D_shown, {"show"}},
        Transition{"tray_left_from_B", At::B, tray1, At::D_shown, kIconAndShow},
        Transition{"tray_left_from_C", At::C, tray1, At::D_shown, kIconAndShow},
        Transition{"tray_left_from_D_shown", At::D_shown, tray1, At::D_shown, kIconAndShow},
        Transition{"tray_left_from_D_hidden", At::D_hidden, tray1, At::D_shown, kIconAndShow},
        Transition{"tray_double_from_B", At::B, tray2, At::D_hidden, {"set_tray_icon"}},
        Transition{"tray_double_from_C", At::C, tray2, At::D_shown, {"set_tray_icon"}},
        Transition{"tray_double_from_D_shown", At::D_shown, tray2, At::D_shown, {"set_tray_icon"}},
        Transition{
            "tray_double_from_D_hidden", At::D_hidden, tray2, At::D_hidden, {"set_tray_icon"}},
        Transition{"tray_right_from_B", At::B, tray3, At::D_hidden, kIconAndMenu},
        Transition{"tray_right_from_C", At::C, tray3, At::D_shown, kIconAndMenu},
        Transition{"tray_right_from_D_shown", At::D_shown, tray3, At::D_shown, kIconAndMenu},
        Transition{"tray_right_from_D_hidden", At::D_hidden, tray3, At::D_hidden, kIconAndMenu},
        Transition{"tray_without_an_icon_in_A", At::A, tray1, At::A, {}},
        Transition{"quit_from_A", At::A, quit, At::gone, kQuit},
        Transition{"quit_from_B", At::B, quit, At::gone, kQuit},
        Transition{"quit_from_C", At::C, quit, At::gone, kQuit},
        Transition{"quit_from_D_shown", At::D_shown, quit, At::gone, kQuit},
        Transition{"quit_from_D_hidden", At::D_hidden, quit, At::gone, kQuit}),
    testing_support::ByName());

// ---- choices in the popups ---------------------------------------------------------------------

struct PopupChoice {
  const char* name;
  At from;
  Text item;
  At to;
};
void PrintTo(const PopupChoice& row, std::ostream* os) {
  *os << row.name;
}

class TrayPopup : public testing::TestWithParam<PopupChoice> {};

TEST_P(TrayPopup, AChoiceRunsTheSameCommandAsTheMenuBar) {
  const PopupChoice& c = GetParam();
  Headless h;
  h.on_popup = [&](runtime::MenuId, int, int, bool) { return c.item; };
  const int code = h.run(app::main_window(), &app::entry_routine, [&] {
    reach(h, c.from);
    h.tray_event(runtime::kTrayRightUp);
    h.advance(1);
    EXPECT_EQ(name_of(observe(h)), name_of(c.to));
  });
  EXPECT_EQ(code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Shell, TrayPopup,
    testing::Values(PopupChoice{"hide_while_shown_keeps_the_icon", At::C, "隐藏窗口", At::B},
                    PopupChoice{"show_while_hidden", At::B, "显示界面", At::D_shown},
                    PopupChoice{"quit_while_hidden_removes_the_icon", At::B, "退出程序", At::gone},
                    PopupChoice{"quit_while_shown", At::D_shown, "退出程序", At::gone}),
    testing_support::ByName());

TEST(Shell, PopupAtCursorOpensTheMainMenuAtTheMousePositionNotAtItsArguments) {
  Headless h;
  std::vector<std::pair<int, int>> at;
  h.on_popup = [&](runtime::MenuId menu, int x, int y, bool tray) {
    EXPECT_EQ(menu.index, shell::kMainMenu.index);
    EXPECT_FALSE(tray);
    at.emplace_back(x, y);
    return Text("隐藏窗口");
  };
  h.run(app::main_window(), &app::entry_routine, [&] {
    h.mouse = {412, 377};
    shell::popup_at_cursor(5, 6);  // the press's own coordinates are ignored
    EXPECT_EQ(name_of(observe(h)), name_of(At::B));
  });
  EXPECT_EQ(at, (std::vector<std::pair<int, int>>{{412, 377}}));
}

// ---- edge cases of the toggle ------------------------------------------------------------------

TEST(Shell, HoldingAltEDownTogglesWithEveryRepeat) {
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    std::string seen;
    for (int repeat = 0; repeat < 6; ++repeat) {
      h.press_hotkey();
      seen += h.window_shown() ? 'S' : 'H';
    }
    EXPECT_EQ(seen, "HSHSHS");
  });
}

TEST(Shell, AMinimisedWindowCountsAsShownAndComesBackMinimised) {
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    h.minimise();
    h.press_hotkey();
    EXPECT_FALSE(h.window_shown());
    EXPECT_TRUE(h.tray_present());
    h.press_hotkey();
    EXPECT_TRUE(h.window_shown());
    EXPECT_TRUE(h.minimised());
  });
}

// ---- the hotkey's registration -----------------------------------------------------------------

TEST(Hotkey, IsRegisteredAsAltEAfterTheUpdateCheckAndBeforeTheWindowShows) {
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [] {});
  std::vector<std::pair<Text, Text>> startup;
  for (const headless::Call& c : h.calls()) {
    if (c.op == "fetch_url" || c.op == "register_hotkey" || c.op == "show") {
      startup.emplace_back(c.op, c.op == "fetch_url" ? "" : c.arg);
    }
  }
  // Modifier code 4 (Alt) and key code 69 (E).
  const std::vector<std::pair<Text, Text>> expected{
      {"fetch_url", ""}, {"register_hotkey", "4+69"}, {"show", ""}};
  EXPECT_EQ(startup, expected);
}

TEST(Hotkey, WhenTheCombinationIsTakenEverythingElseStillWorks) {
  Headless h;
  h.hotkey_taken = true;
  h.on_popup = [](runtime::MenuId, int, int, bool) { return Text("显示界面"); };
  const int code = h.run(app::main_window(), &app::entry_routine, [&] {
    h.press_hotkey();
    EXPECT_EQ(name_of(observe(h)), name_of(At::A)) << "the hotkey does nothing";
    h.choose("隐藏窗口");
    EXPECT_EQ(name_of(observe(h)), name_of(At::B)) << "the icon comes with the hide command";
    h.tray_event(runtime::kTrayRightUp);
    EXPECT_EQ(name_of(observe(h)), name_of(At::D_shown)) << "the tray popup works";
    h.choose("官方网站");
    h.choose("退出程序");
    h.advance(1);
    EXPECT_EQ(name_of(observe(h)), name_of(At::gone));
  });
  EXPECT_EQ(code, 0);
  const std::vector<Text> ops = h.ops();
  EXPECT_NE(std::find(ops.begin(), ops.end(), "open_in_browser"), ops.end());
}

// ---- tooltips ----------------------------------------------------------------------------------

struct TextBytes {
  const char* name;
  std::string_view text;
  std::size_t bytes;
};
void PrintTo(const TextBytes& row, std::ostream* os) {
  *os << row.name;
}

class Tooltips : public testing::TestWithParam<TextBytes> {};

TEST_P(Tooltips, HaveTheirByteCountsInGbk) {
  EXPECT_EQ(GetParam().text.size(), GetParam().bytes);
}

const std::string_view kHotkeyHint{shell::kHotkeyHint};

INSTANTIATE_TEST_SUITE_P(Shell, Tooltips,
                         testing::Values(TextBytes{"click_hint", shell::kClickHint, 37},
                                         TextBytes{"hotkey_hint_first_line",
                                                   kHotkeyHint.substr(0, kHotkeyHint.find('\r')),
                                                   21},
                                         TextBytes{"hotkey_hint_whole", kHotkeyHint, 62}),
                         testing_support::ByName());

TEST(Shell, TheTooltipsAreGbkBytes) {
  // 点 B5E3, 击 BBF7, then an ASCII apostrophe, 左 D7F3.
  EXPECT_EQ(std::string_view(shell::kClickHint).substr(0, 7), "\xB5\xE3\xBB\xF7'\xD7\xF3");
  EXPECT_EQ(kHotkeyHint.substr(0, 23), std::string_view("快捷键:Alt+E 显示界面\r\n"));
  EXPECT_EQ(kHotkeyHint.find('\r'), 21u) << "one line break, right after the first line";
  EXPECT_EQ(kHotkeyHint.find('\r', 22), std::string_view::npos);
}

struct Cut {
  const char* name;
  Text tooltip;
  Text shown;
};
void PrintTo(const Cut& row, std::ostream* os) {
  *os << row.name;
}

class TooltipCut : public testing::TestWithParam<Cut> {};

TEST_P(TooltipCut, ShowsAtMost62BytesAndNeverHalfACharacter) {
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    h.set_tray_icon(shell::kTrayIcon, GetParam().tooltip);
    EXPECT_EQ(h.tray_tooltip(), GetParam().shown);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Shell, TooltipCut,
    testing::Values(
        Cut{"exactly_62_bytes_show_whole", Text(62, 'a'), Text(62, 'a')},
        Cut{"a_63rd_byte_is_cut", Text(63, 'a'), Text(62, 'a')},
        Cut{"a_pair_over_byte_62_is_left_out_whole", Text(61, 'a') + "显示", Text(61, 'a')},
        Cut{"a_pair_ending_at_byte_62_stays", Text(60, 'a') + "显示", Text(60, 'a') + "显"},
        Cut{"the_hotkey_hint_with_more_after_it", Text(shell::kHotkeyHint) + "更多",
            shell::kHotkeyHint},
        Cut{"the_click_hint_is_short", shell::kClickHint, shell::kClickHint}),
    testing_support::ByName());

// ---- the menu commands that open pages ---------------------------------------------------------

struct Command {
  const char* name;
  Text item;
  std::vector<std::pair<Text, Text>> calls;  // op and argument
};
void PrintTo(const Command& row, std::ostream* os) {
  *os << row.name;
}

class PageCommands : public testing::TestWithParam<Command> {};

TEST_P(PageCommands, OpenTheirPageAndTouchNothingElse) {
  const Command& c = GetParam();
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    const std::size_t before = h.calls().size();
    h.choose(c.item);
    h.advance(1);
    std::vector<std::pair<Text, Text>> made;
    for (std::size_t i = before; i < h.calls().size(); ++i) {
      if (h.calls()[i].op != "menu_selected") made.emplace_back(h.calls()[i].op, h.calls()[i].arg);
    }
    EXPECT_EQ(made, c.calls);
    EXPECT_EQ(name_of(observe(h)), name_of(At::A));
  });
}

INSTANTIATE_TEST_SUITE_P(
    Shell, PageCommands,
    testing::Values(
        // The product page through open URL: no hyperlink box on the way.
        Command{"product_page", "官方网站", {{"open_in_browser", addresses::kProductPage}}},
        Command{"directory",
                "站长网址大全",
                {{"hyperlink_address", addresses::kDirectoryPage},
                 {"open_in_browser", addresses::kDirectoryPage}}},
        Command{"homepage",
                addresses::kSoftHost,
                {{"hyperlink_address", addresses::kHomepage},
                 {"open_in_browser", addresses::kHomepage}}}),
    testing_support::ByName());

TEST(Shell, TheAddressesOfThePageCommands) {
  EXPECT_EQ(Text(addresses::kProductPage), Text("http://") + addresses::kSoftHost + "/?QTVAR");
  EXPECT_EQ(Text(addresses::kHomepage), Text("http://") + addresses::kSoftHost + "/?soft");
  EXPECT_EQ(Text(addresses::kDirectoryPage), Text("http://") + PELORIN_DIRECTORY_HOST + "/?soft");
}

// ---- the icon image ----------------------------------------------------------------------------

TEST(TrayIcon, IsACompleteIconFileOfFiveUncompressed32BitImages) {
  ASSERT_EQ(shell::kTrayIcon.size(), 99678u);
  const auto images = runtime::parse_icon_file(shell::kTrayIcon);
  ASSERT_TRUE(images.has_value());
  ASSERT_EQ(images->size(), 5u);
  const int sizes[] = {128, 64, 48, 32, 16};
  std::size_t offset = 6 + 16 * 5;  // header, then one directory entry per image
  for (std::size_t i = 0; i < 5; ++i) {
    const runtime::IconImage& image = (*images)[i];
    const auto side = static_cast<std::size_t>(sizes[i]);
    SCOPED_TRACE(sizes[i]);
    EXPECT_EQ(image.width, sizes[i]);
    EXPECT_EQ(image.height, sizes[i]);
    EXPECT_EQ(image.bits_per_pixel, 32);
    EXPECT_FALSE(image.png);
    EXPECT_EQ(image.offset, offset) << "images follow each other without gaps";
    // Bitmap header, 4 bytes a pixel, and a mask of one bit a pixel in rows of whole 32-bit words.
    const std::size_t mask_row = (side + 31) / 32 * 4;
    EXPECT_EQ(image.size, 40 + side * side * 4 + mask_row * side);
    offset += image.size;
  }
  EXPECT_EQ(offset, shell::kTrayIcon.size()) << "the last image ends the file";
}

TEST(TrayIcon, ItsSmallImageIsVisibleAndNotTheProgramIcon) {
  const auto tray = runtime::parse_icon_file(shell::kTrayIcon);
  const auto program = runtime::parse_icon_file(app::kProgramIcon);
  ASSERT_TRUE(tray && program);
  ASSERT_EQ(tray->size(), program->size());
  const std::vector<std::uint32_t> small = runtime::decode_argb(shell::kTrayIcon, tray->back());
  ASSERT_EQ(small.size(), 16u * 16u);
  std::size_t opaque = 0;
  for (std::uint32_t p : small) opaque += (p >> 24) == 0xFF;
  EXPECT_GT(opaque, 16u * 16u / 4) << "a quarter of the 16 px image at least is drawn";
  EXPECT_NE(small, runtime::decode_argb(app::kProgramIcon, program->back()));
}

}  // namespace
}  // namespace pelorin
