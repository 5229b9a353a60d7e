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
  QTimer::singleShot(0, [&] {
    session(rt);
    rt.destroy_window();
  });
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
