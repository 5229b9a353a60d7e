#include "support/qt_session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "app/app.h"

namespace pelorin::testing_support {

int run_qt_session(const std::function<void(qt::QtRuntime&)>& session) {
  static char name[] = "pelorin-test";
  static char* argv[] = {name, nullptr};
  static int argc = 1;
  qt::QtRuntime rt(argc, argv);
  // The session starts once start-up is over and the window is shown; a timer may fire earlier,
  // in a nested event loop of start-up.
  QTimer starter;
  QObject::connect(&starter, &QTimer::timeout, [&] {
    if (!rt.events_live() || !rt.main_window()->isVisible()) return;
    starter.stop();
    session(rt);
    rt.destroy_window();
  });
  starter.start(10);
  return runtime::start(rt, app::main_window(), &app::entry_routine);
}

bool spin_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

void spin_for(std::chrono::milliseconds period) {
  spin_until([] { return false; }, period);
}

}  // namespace pelorin::testing_support
