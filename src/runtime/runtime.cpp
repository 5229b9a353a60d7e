#include "runtime/runtime.h"

#include <string>

namespace pelorin::runtime {

const char* const kInformationCaption = "信息：";
const char* const kErrorCaption = "错误";
const char* const kTemplateUnreadable = "载入窗口模板数据段出错!";
const char* const kWindowNotCreated = "载入启动窗口失败";

namespace {
Runtime* current = nullptr;
const WindowTemplate* current_window = nullptr;
}  // namespace

Runtime& rt() {
  return *current;
}

const WindowTemplate& current_template() {
  return *current_window;
}

int start(Runtime& r, const WindowTemplate& t, int (*entry)()) {
  current = &r;
  current_window = &t;
  if (!template_is_sound(t)) r.fatal_error(kTemplateUnreadable);
  const int code = entry();
  r.end_of_run();
  return code;
}

Text fatal_error_text(const Text& message) {
  return text::join({"运行时出错!\r\n\r\n错误信息：", message, "\r\n"});
}

Text allocation_failure_message(std::size_t bytes) {
  return text::join({"分配 ", std::to_string(bytes), " 字节内存失败!"});
}

}  // namespace pelorin::runtime
