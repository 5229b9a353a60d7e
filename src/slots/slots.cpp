#include "slots/slots.h"

namespace pelorin::slots {

using runtime::rt;

const char* const kStartMessage = "自动挂机刷新页面已开启,你现在可以Alt+E快捷键到托盘隐藏起来!";
const char* const kStopMessage = "自动挂机刷新页面已停止!";

// The period is written before the box is shown, so the slot already runs while it is open.
void start(const Slot& slot) {
  const runtime::Text interval = rt().read_edit_text(slot.interval);
  rt().write_timer_period(slot.timer, text::to_integer(interval));
  rt().message_box(kStartMessage, runtime::kInformation);
}

void stop(const Slot& slot) {
  rt().write_timer_period(slot.timer, 0);
  rt().message_box(kStopMessage, runtime::kInformation);
}

// Each tick is a new navigation to the address as it stands now, also when it is on display.
void tick(const Slot& slot) {
  const runtime::Text address = rt().read_edit_text(slot.address);
  rt().write_browser_address(slot.browser, address);
}

}  // namespace pelorin::slots
