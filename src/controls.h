// The controls of the main window, by the names the window template gives them. The values are
// the rows of the template, in its order: parents before their children.
#pragma once

#include <cstdint>

namespace pelorin::ctl {

// clang-format off: one line per tab page keeps the table readable
enum : std::uint16_t {
  高级选择夹1,
  外形框1,
  透明标签1,
  编辑框1,
  透明标签2,
  编辑框2,
  按钮1,
  按钮2,
  超文本浏览框1,
  外形框3,
  透明标签4,
  编辑框4,
  透明标签3,
  编辑框3,
  按钮4,
  按钮3,
  超文本浏览框3,
  外形框4,
  透明标签6,
  编辑框6,
  透明标签5,
  编辑框5,
  按钮6,
  按钮5,
  超文本浏览框4,
  外形框5,
  透明标签8,
  编辑框8,
  透明标签7,
  编辑框7,
  按钮8,
  按钮7,
  超文本浏览框5,
  外形框6,
  透明标签10,
  编辑框10,
  透明标签9,
  编辑框9,
  按钮10,
  按钮9,
  超文本浏览框6,
  标签1,
  外形框2,
  超文本浏览框2,
  简单超文本框1,
  超级链接框1,
  时钟1,
  时钟2,
  时钟3,
  时钟4,
  时钟5,
  control_count
};
// clang-format on

}  // namespace pelorin::ctl
