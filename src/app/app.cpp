#include "app/app.h"

#include "banner/capture.h"
#include "runtime/runtime.h"
#include "shell/shell.h"
#include "update/update_check.h"

namespace pelorin::app {

using runtime::rt;

int entry_routine() {
  update::manifest = runtime::create<xml::Document>();
  banner::registry = runtime::create<banner::SubclassRegistry>();
  rt().register_exit_routine(&exit_routine);
  rt().load_window(main_window());
  rt().message_loop();
  return 0;
}

void exit_routine() {
  xml::release(*update::manifest);
  runtime::destroy(std::exchange(update::manifest, nullptr));
  runtime::destroy(std::exchange(banner::registry, nullptr));
}

void on_created() {
  update::check();
  shell::register_hotkey();
}

}  // namespace pelorin::app
