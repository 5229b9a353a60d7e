// The five refresh slots. A slot has no state of its own: the address and the interval live in
// its two edit boxes, whether it runs is its timer's period, and the page is in its browser.
#pragma once

#include <array>

#include "controls.h"
#include "runtime/runtime.h"

namespace pelorin::slots {

using runtime::ControlId;

struct Slot {
  ControlId address, interval, start, stop, timer, browser;
};

// The numbering of the controls is irregular; each slot is bound to exactly these.
inline constexpr std::array<Slot, 5> kSlots{{
    {ctl::编辑框1, ctl::编辑框2, ctl::按钮1, ctl::按钮2, ctl::时钟1, ctl::超文本浏览框1},
    {ctl::编辑框4, ctl::编辑框3, ctl::按钮4, ctl::按钮3, ctl::时钟2, ctl::超文本浏览框3},
    {ctl::编辑框6, ctl::编辑框5, ctl::按钮6, ctl::按钮5, ctl::时钟3, ctl::超文本浏览框4},
    {ctl::编辑框8, ctl::编辑框7, ctl::按钮8, ctl::按钮7, ctl::时钟4, ctl::超文本浏览框5},
    {ctl::编辑框10, ctl::编辑框9, ctl::按钮10, ctl::按钮9, ctl::时钟5, ctl::超文本浏览框6},
}};

extern const char* const kStartMessage;
extern const char* const kStopMessage;

void start(const Slot& slot);
void stop(const Slot& slot);
void tick(const Slot& slot);

// The handlers the window template binds, one per control.
template <int k>
void on_start() {
  start(kSlots[k]);
}
template <int k>
void on_stop() {
  stop(kSlots[k]);
}
template <int k>
void on_tick() {
  tick(kSlots[k]);
}

}  // namespace pelorin::slots
