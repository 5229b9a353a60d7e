// The refresh slots on the headless runtime, in virtual time.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "addresses.h"
#include "app/app.h"
#include "controls.h"
#include "runtime/headless/headless.h"
#include "slots/slots.h"
#include "support/param_name.h"

namespace pelorin {
namespace {

using headless::Headless;
using runtime::Text;
using slots::kSlots;
using slots::Slot;

constexpr const char* kPage = "http://127.0.0.1:8000/page";

// The times (ms) at which the slot's browser was navigated by ticks (creation loads are at 0).
std::vector<std::int64_t> tick_times(const Headless& h, const Slot& s) {
  std::vector<std::int64_t> out;
  for (const headless::Navigation& n : h.navigations(s.browser)) {
    if (n.at > 0) out.push_back(n.at);
  }
  return out;
}

std::vector<Text> boxes(const Headless& h) {
  std::vector<Text> out;
  for (const headless::Call& c : h.calls()) {
    if (c.op == "message_box") out.push_back(c.arg);
  }
  return out;
}

// One user action on slot 2 (the one whose controls are numbered out of order).
struct Step {
  enum { interval, start, stop, wait } what;
  Text text{};
  std::int64_t ms = 0;
};
Step interval(Text t) {
  return {Step::interval, std::move(t)};
}
Step start() {
  return {Step::start};
}
Step stop() {
  return {Step::stop};
}
Step wait(std::int64_t ms) {
  return {Step::wait, {}, ms};
}

struct Row {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::int64_t> ticks;
  std::int32_t period;  // the timer's period at the end
  std::vector<Text> boxes;
};

const Text S = slots::kStartMessage;
const Text T = slots::kStopMessage;

class SlotStateMachine : public testing::TestWithParam<Row> {};

TEST_P(SlotStateMachine, TicksAndMessagesFollowTheClicks) {
  const Row& row = GetParam();
  const Slot& slot = kSlots[1];
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    h.select_page(1);
    h.type(slot.address, kPage);
    for (const Step& step : row.steps) {
      switch (step.what) {
        case Step::interval:
          h.type(slot.interval, step.text);
          break;
        case Step::start:
          h.click(slot.start);
          break;
        case Step::stop:
          h.click(slot.stop);
          break;
        case Step::wait:
          h.advance(step.ms);
          break;
      }
    }
    EXPECT_EQ(tick_times(h, slot), row.ticks);
    EXPECT_EQ(h.period(slot.timer), row.period);
  });
  EXPECT_EQ(boxes(h), row.boxes);
}

INSTANTIATE_TEST_SUITE_P(
    Slots, SlotStateMachine,
    testing::Values(
        Row{"first_tick_one_period_after_the_click",
            {start(), wait(10000)},
            {3000, 6000, 9000},
            3000,
            {S}},
        Row{"same_period_again_keeps_the_countdown",
            {start(), wait(2000), start(), wait(5000)},
            {3000, 6000},
            3000,
            {S, S}},
        Row{"new_period_restarts_the_countdown",
            {start(), wait(1000), interval("5000"), start(), wait(11000)},
            {6000, 11000},
            5000,
            {S, S}},
        Row{"zero_stops_a_running_slot",
            {start(), wait(4000), interval("0"), start(), wait(10000)},
            {3000},
            0,
            {S, S}},
        Row{"letters_stop_it",
            {start(), wait(4000), interval("abc"), start(), wait(10000)},
            {3000},
            0,
            {S, S}},
        Row{"negative_stops_it",
            {start(), wait(4000), interval("-100"), start(), wait(10000)},
            {3000},
            0,
            {S, S}},
        Row{"empty_box_stops_it",
            {start(), wait(4000), interval(""), start(), wait(10000)},
            {3000},
            0,
            {S, S}},
        Row{"zero_on_a_stopped_slot_only_shows_the_message",
            {interval("0"), start(), wait(9000)},
            {},
            0,
            {S}},
        Row{"full_width_digits",
            {interval("３０００"), start(), wait(7000)},
            {3000, 6000},
            3000,
            {S}},
        Row{"trailing_letters_and_leading_blank",
            {interval(" 1500ms"), start(), wait(3100)},
            {1500, 3000},
            1500,
            {S}},
        Row{"decimal_point_ends_the_number",
            {interval("1000.9"), start(), wait(2500)},
            {1000, 2000},
            1000,
            {S}},
        Row{"digits_beyond_32_bits_wrap_to_zero",
            {interval("4294967296"), start(), wait(9000)},
            {},
            0,
            {S}},
        Row{"digits_of_2_to_the_31_wrap_negative",
            {interval("2147483648"), start(), wait(9000)},
            {},
            0,
            {S}},
        Row{"a_period_below_the_system_minimum_runs_at_10ms",
            {interval("1"), start(), wait(35)},
            {10, 20, 30},
            1,
            {S}},
        Row{"interval_edited_without_start_keeps_the_old_period",
            {start(), wait(1000), interval("500"), wait(6000)},
            {3000, 6000},
            3000,
            {S}},
        Row{"stop_stops_and_leaves_the_page",
            {start(), wait(4000), stop(), wait(10000)},
            {3000},
            0,
            {S, T}},
        Row{"stop_on_a_stopped_slot_only_shows_the_stop_message", {stop(), wait(9000)}, {}, 0, {T}},
        Row{"start_after_stop_runs_again",
            {start(), wait(3500), stop(), wait(1000), start(), wait(3000)},
            {3000, 7500},
            3000,
            {S, T, S}}),
    testing_support::ByName());

TEST(Slots, EachTickNavigatesToTheAddressAsItStandsThen) {
  const Slot& slot = kSlots[1];
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    h.type(slot.address, kPage);
    h.click(slot.start);
    h.advance(3000);
    h.type(slot.address, "  not an address ");
    h.advance(3000);
    h.type(slot.address, "");
    h.advance(3000);
    const std::vector<headless::Navigation>& n = h.navigations(slot.browser);
    ASSERT_EQ(n.size(), 3u);
    EXPECT_EQ(n[0].address, kPage);
    EXPECT_EQ(n[1].address, "  not an address ");  // unchanged: no trimming, no scheme
    EXPECT_EQ(n[2].address, "");                   // an empty navigation, and no message
  });
  EXPECT_EQ(boxes(h), std::vector<Text>{slots::kStartMessage});
}

TEST(Slots, TicksGoOnWhileTheStartMessageIsOpen) {
  const Slot& slot = kSlots[1];
  Headless h;
  h.on_message_box = [&](const Text&, const Text& caption) {
    EXPECT_EQ(caption, "信息：");
    h.advance(7000);  // the user reads the box for seven seconds
  };
  h.run(app::main_window(), &app::entry_routine, [&] {
    h.type(slot.address, kPage);
    h.click(slot.start);
    EXPECT_EQ(tick_times(h, slot), (std::vector<std::int64_t>{3000, 6000}));
  });
}

TEST(Slots, MessagesAreInformationBoxes) {
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    h.click(kSlots[0].start);
    h.click(kSlots[0].stop);
  });
  std::vector<Text> flags;
  for (const headless::Call& c : h.calls()) {
    if (c.op == "message_box_flags") flags.push_back(c.arg);
  }
  EXPECT_EQ(flags, (std::vector<Text>{"64", "64"}));
  EXPECT_EQ(Text(slots::kStartMessage),
            "自动挂机刷新页面已开启,你现在可以Alt+E快捷键到托盘隐藏起来!");
  EXPECT_EQ(Text(slots::kStopMessage), "自动挂机刷新页面已停止!");
}

TEST(Slots, HiddenPagesMinimisedAndHiddenWindowsKeepTicking) {
  Headless h;
  h.run(app::main_window(), &app::entry_routine, [&] {
    h.type(kSlots[4].address, kPage);
    h.type(kSlots[4].interval, "1000");
    h.select_page(4);
    h.click(kSlots[4].start);
    h.select_page(0);  // slot 5's page is no longer shown
    h.advance(2000);
    h.minimise();
    h.advance(1000);
    h.choose("隐藏窗口");
    h.advance(2000);
    EXPECT_FALSE(h.window_shown());
    EXPECT_EQ(tick_times(h, kSlots[4]), (std::vector<std::int64_t>{1000, 2000, 3000, 4000, 5000}));
  });
}

// Every slot is bound to its own controls: its start button starts its timer, which navigates its
// browser to its address box, at its interval; no other slot moves.
TEST(Slots, EachSlotIsBoundToItsOwnControls) {
  for (std::size_t k = 0; k < kSlots.size(); ++k) {
    SCOPED_TRACE("slot " + std::to_string(k + 1));
    Headless h;
    h.run(app::main_window(), &app::entry_routine, [&] {
      for (std::size_t j = 0; j < kSlots.size(); ++j) {
        h.type(kSlots[j].address, "http://127.0.0.1/slot" + std::to_string(j + 1));
        h.type(kSlots[j].interval, std::to_string(1000 * (j + 1)));
      }
      h.select_page(static_cast<int>(k));
      h.click(kSlots[k].start);
      h.advance(5000);
      for (std::size_t j = 0; j < kSlots.size(); ++j) {
        const std::size_t expected = j == k ? 5 / (k + 1) : 0;
        EXPECT_EQ(tick_times(h, kSlots[j]).size(), expected) << "slot " << j + 1;
      }
      EXPECT_EQ(h.navigations(kSlots[k].browser).back().address,
                "http://127.0.0.1/slot" + std::to_string(k + 1));
    });
  }
  // The irregular numbering, written out once more by hand.
  EXPECT_EQ(kSlots[1].address, runtime::ControlId(ctl::编辑框4));
  EXPECT_EQ(kSlots[1].interval, runtime::ControlId(ctl::编辑框3));
  EXPECT_EQ(kSlots[1].start, runtime::ControlId(ctl::按钮4));
  EXPECT_EQ(kSlots[0].stop, runtime::ControlId(ctl::按钮2));
  EXPECT_EQ(kSlots[1].browser, runtime::ControlId(ctl::超文本浏览框3));
}

TEST(Slots, FiveSlotsRunAtOnceIndependently) {
  Headless h;
  const int periods[] = {500, 700, 1000, 1300, 3000};
  h.run(app::main_window(), &app::entry_routine, [&] {
    for (std::size_t k = 0; k < kSlots.size(); ++k) {
      h.type(kSlots[k].address, kPage);
      h.type(kSlots[k].interval, std::to_string(periods[k]));
      h.click(kSlots[k].start);
    }
    h.advance(60000);
    for (std::size_t k = 0; k < kSlots.size(); ++k) {
      EXPECT_EQ(tick_times(h, kSlots[k]).size(), static_cast<std::size_t>(60000 / periods[k]));
    }
  });
}

}  // namespace
}  // namespace pelorin
