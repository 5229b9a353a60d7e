// The tool's life cycle on the headless runtime: start-up order, every way out, the exit routine.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "addresses.h"
#include "app/app.h"
#include "banner/capture.h"
#include "controls.h"
#include "runtime/headless/headless.h"
#include "runtime/xml.h"
#include "support/param_name.h"
#include "update/update_check.h"

namespace pelorin {
namespace {

using headless::Headless;
using runtime::Text;

constexpr const char* kNewerManifest =
    "<最新版本><版本信息 版本号=\"1.4\" 升级说明=\"n\" 下载地址=\"d\" 文件标题=\"t\" "
    "文件名=\"f\"/></最新版本>";

std::size_t count(const std::vector<Text>& ops, const Text& op) {
  return static_cast<std::size_t>(std::count(ops.begin(), ops.end(), op));
}

// The ops from the first `from` to the end, in order, keeping only those named in `keep`.
std::vector<Text> only(const std::vector<Text>& ops, const std::vector<Text>& keep) {
  std::vector<Text> out;
  for (const Text& op : ops) {
    if (std::find(keep.begin(), keep.end(), op) != keep.end()) out.push_back(op);
  }
  return out;
}

Text released_sizes(const Headless& h) {
  Text out;
  for (const headless::Call& c : h.calls()) {
    if (c.op == "release") out += c.arg + " ";
  }
  return out;
}

TEST(Startup, RunsEveryStepInOrderAndShowsTheWindowLast) {
  Headless h;
  std::vector<Text> during;
  const int code = h.run(app::main_window(), &app::entry_routine, [&] { during = h.ops(); });
  EXPECT_EQ(code, 0);
  const std::vector<Text> expected{"create_window",   "created", "fetch_url",
                                   "register_hotkey", "show",    "message_loop"};
  EXPECT_EQ(only(during, {"create_window", "created", "fetch_url", "register_hotkey", "show",
                          "message_loop"}),
            expected);
  EXPECT_EQ(h.calls().front().arg, app::kTitle);
}

TEST(Startup, SlotOneAndTheBannerStartLoadingWhenCreated) {
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    ASSERT_EQ(h.navigations(ctl::超文本浏览框1).size(), 1u);
    EXPECT_EQ(h.navigations(ctl::超文本浏览框1)[0].address, addresses::kSlotOnePage);
    ASSERT_EQ(h.navigations(ctl::超文本浏览框2).size(), 1u);
    EXPECT_EQ(h.navigations(ctl::超文本浏览框2)[0].address, addresses::kBannerPage);
    EXPECT_TRUE(h.navigations(ctl::超文本浏览框3).empty());
    EXPECT_EQ(h.edit_text(ctl::编辑框1), addresses::kSlotOneAddress);
    EXPECT_EQ(h.edit_text(ctl::编辑框4), "");
    EXPECT_EQ(h.edit_text(ctl::编辑框9), "3000");
    EXPECT_TRUE(h.control_visible(ctl::外形框1));
    EXPECT_FALSE(h.control_visible(ctl::外形框3));
    EXPECT_FALSE(h.control_visible(ctl::时钟1));
    EXPECT_EQ(h.period(ctl::时钟1), 0);
  });
}

// Every way the run can end: the exit routine runs exactly once, after the window is gone or
// inside exit program, and frees the document and then the registry.
struct WayOut {
  const char* name;
  std::function<void(Headless&)> setup;    // before the run
  std::function<void(Headless&)> session;  // the user, inside the message loop
  int code;
  bool shown;
};

class WaysOut : public testing::TestWithParam<WayOut> {};

TEST_P(WaysOut, ExitRoutineRunsOnceAndFreesEverything) {
  const WayOut& w = GetParam();
  Headless h;
  if (w.setup) w.setup(h);
  const int code = h.run(app::main_window(), &app::entry_routine, [&] {
    if (w.session) w.session(h);
  });
  EXPECT_EQ(code, w.code);
  EXPECT_EQ(h.window_ever_shown(), w.shown);
  EXPECT_EQ(count(h.ops(), "end_of_run"), 1u);
  EXPECT_EQ(released_sizes(h), std::to_string(sizeof(xml::Document)) + " " +
                                   std::to_string(sizeof(banner::SubclassRegistry)) + " ");
  EXPECT_EQ(h.live_allocations(), 0u);
  EXPECT_EQ(update::manifest, nullptr);
  EXPECT_EQ(banner::registry, nullptr);
  // Way A ends with the window destroyed before the exit routine runs.
  const std::vector<Text> ops = h.ops();
  const auto destroyed = std::find(ops.begin(), ops.end(), "window_destroyed");
  const auto ended = std::find(ops.begin(), ops.end(), "end_of_run");
  if (destroyed != ops.end()) {
    EXPECT_LT(destroyed, ended);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, WaysOut,
    testing::Values(WayOut{"close_button", nullptr, [](Headless& h) { h.close_window(); }, 0, true},
                    WayOut{"session_ends", nullptr, nullptr, 0, true},
                    WayOut{"quit_command", nullptr, [](Headless& h) { h.choose("退出程序"); }, 0,
                           true},
                    WayOut{"quit_while_hidden", nullptr,
                           [](Headless& h) {
                             h.choose("隐藏窗口");
                             h.advance(1000);
                             h.choose("退出程序");
                           },
                           0, true},
                    WayOut{"quit_with_slots_running", nullptr,
                           [](Headless& h) {
                             h.click(ctl::按钮1);
                             h.advance(10000);
                             h.choose("退出程序");
                             h.advance(10000);
                           },
                           0, true},
                    WayOut{"exit_program_on_update",
                           [](Headless& h) { h.responses[addresses::kManifest] = kNewerManifest; },
                           nullptr, 0, false}),
    testing_support::ByName());

TEST(Shutdown, QuitDestroysTheWindowOnlyWhenTheLoopRunsAgain) {
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    h.choose("退出程序");
    EXPECT_FALSE(h.window_shown());  // hidden at once
    const std::vector<Text> ops = h.ops();
    EXPECT_EQ(count(ops, "window_destroyed"), 0u);  // destroyed when the loop next runs
    h.advance(1);
    EXPECT_FALSE(h.window_exists());
  });
}

// The fatal runtime errors of start-up: the error box text, exit code -1, and no window.
struct Fatal {
  const char* name;
  std::function<void(Headless&)> setup;
  const char* message;
  bool exit_routine_frees;  // false when it failed before the exit routine was registered
};

class FatalErrors : public testing::TestWithParam<Fatal> {};

TEST_P(FatalErrors, ShowTheErrorBoxAndEndWithMinusOne) {
  const Fatal& f = GetParam();
  Headless h;
  f.setup(h);
  Text box, caption;
  h.on_message_box = [&](const Text& m, const Text& c) {
    box = m;
    caption = c;
  };
  const int code = h.run(app::main_window(), &app::entry_routine, nullptr);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(caption, "错误");
  EXPECT_EQ(box, Text("运行时出错!\r\n\r\n错误信息：") + f.message + "\r\n");
  EXPECT_FALSE(h.window_ever_shown());
  EXPECT_EQ(count(h.ops(), "release"), f.exit_routine_frees ? 2u : 0u);
}

runtime::WindowTemplate broken_template() {
  runtime::WindowTemplate t = app::main_window();
  t.controls = t.controls.subspan(1);  // rows no longer start at 0; children lose their parent
  return t;
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, FatalErrors,
    testing::Values(Fatal{"window_not_created", [](Headless& h) { h.fail_window_creation = true; },
                          "载入启动窗口失败", true},
                    Fatal{"document_allocation", [](Headless& h) { h.fail_allocation = 0; },
                          "分配 8 字节内存失败!", false},
                    Fatal{"registry_allocation", [](Headless& h) { h.fail_allocation = 1; },
                          "分配 24 字节内存失败!", false}),
    testing_support::ByName());

TEST(Startup, AnUnreadableTemplateIsFatalBeforeTheEntryRoutine) {
  Headless h;
  Text box;
  h.on_message_box = [&](const Text& m, const Text&) { box = m; };
  static const runtime::WindowTemplate broken = broken_template();
  EXPECT_EQ(h.run(broken, &app::entry_routine, nullptr), -1);
  EXPECT_EQ(box, "运行时出错!\r\n\r\n错误信息：载入窗口模板数据段出错!\r\n");
  EXPECT_EQ(h.allocations(), 0u);
}

TEST(Template, TheMainWindowIsSoundAndDamageIsDetected) {
  EXPECT_TRUE(runtime::template_is_sound(app::main_window()));
  EXPECT_FALSE(runtime::template_is_sound(broken_template()));

  std::vector<runtime::ControlTemplate> rows(app::main_window().controls.begin(),
                                             app::main_window().controls.end());
  const std::vector<std::pair<const char*, std::function<void(runtime::ControlTemplate&)>>> damage{
      {"duplicate name", [&](auto& r) { r.name = rows[0].name; }},
      {"page beyond the tabs", [](auto& r) { r.page = 5; }},
      {"parent after the child", [](auto& r) { r.parent = ctl::时钟5; }},
      {"empty name", [](auto& r) { r.name = ""; }},
  };
  for (const auto& [what, spoil] : damage) {
    std::vector<runtime::ControlTemplate> copy = rows;
    spoil(copy[ctl::外形框3]);
    runtime::WindowTemplate t = app::main_window();
    t.controls = copy;
    EXPECT_FALSE(runtime::template_is_sound(t)) << what;
  }
}

}  // namespace
}  // namespace pelorin
