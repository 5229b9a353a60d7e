// The refresh slots on the real Qt widgets: real timers, real browsers, a loopback server that
// counts the reloads.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTabBar>
#include <chrono>

#include "controls.h"
#include "runtime/qt/widgets.h"
#include "slots/slots.h"
#include "support/loopback_server.h"
#include "support/qt_session.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using slots::kSlots;
using testing_support::answer_message_boxes;
using testing_support::LoopbackServer;
using testing_support::spin_for;
using testing_support::spin_until;

void start_slot(qt::QtRuntime& rt, const slots::Slot& slot, const std::string& address,
                const char* interval) {
  qobject_cast<QLineEdit*>(rt.widget(slot.address))->setText(QString::fromStdString(address));
  qobject_cast<QLineEdit*>(rt.widget(slot.interval))->setText(interval);
  qobject_cast<QPushButton*>(rt.widget(slot.start))->click();
}

TEST(QtSlots, ReloadOnScheduleOnAHiddenPageAndInAHiddenWindowUntilStopped) {
  testing_support::run_qt_session([](qt::QtRuntime& rt) {
    answer_message_boxes();
    LoopbackServer server;
    auto* tabs = dynamic_cast<qt::TabControl*>(rt.widget(ctl::高级选择夹1));
    tabs->bar()->setCurrentIndex(2);
    start_slot(rt, kSlots[2], server.url("/three"), "300");
    tabs->bar()->setCurrentIndex(0);  // slot 3's page is no longer shown

    ASSERT_TRUE(spin_until([&] { return server.hits("/three") >= 4; }, 10s));
    rt.main_window()->hide();
    const std::size_t at_hide = server.hits("/three");
    spin_for(1500ms);
    EXPECT_GE(server.hits("/three"), at_hide + 3) << "reloads go on while the window is hidden";

    qobject_cast<QPushButton*>(rt.widget(kSlots[2].stop))->click();
    spin_for(200ms);  // a load already under way may still arrive
    const std::size_t at_stop = server.hits("/three");
    spin_for(1200ms);
    EXPECT_EQ(server.hits("/three"), at_stop) << "stop really stops";
    EXPECT_EQ(answer_message_boxes().size(), 2u);
  });
}

TEST(QtSlots, TheFirstReloadComesOnePeriodAfterTheClick) {
  testing_support::run_qt_session([](qt::QtRuntime& rt) {
    answer_message_boxes();
    LoopbackServer server;
    start_slot(rt, kSlots[1], server.url("/two"), "1000");
    spin_for(700ms);
    EXPECT_EQ(server.hits("/two"), 0u) << "no load at the click";
    ASSERT_TRUE(spin_until([&] { return server.hits("/two") >= 2; }, 5s));
    const std::vector<qint64>& t = server.times("/two");
    EXPECT_NEAR(static_cast<double>(t[1] - t[0]), 1000.0, 150.0);
  });
}

}  // namespace
}  // namespace pelorin
