// The main window as data: every control with its kind, parent, rectangle, visibility, texts,
// colours and fonts, the menus, and the handlers bound to their events.
#include <array>
#include <string_view>

#include "addresses.h"
#include "app/app.h"
#include "app/program_icon.h"
#include "banner/capture.h"
#include "banner/footer.h"
#include "controls.h"
#include "shell/shell.h"
#include "slots/slots.h"

namespace pelorin::app {

using runtime::ControlTemplate;
using runtime::Font;
using runtime::Kind;
using runtime::kMainWindow;
using runtime::MenuItem;

const char* const kTitle = "(Pelorin)批量刷任意网站流量工具 V1.3";

namespace {

constexpr Font kSong12{"宋体", 12};
constexpr std::array<std::string_view, 5> kTabs{"挂机窗口1", "挂机窗口2", "挂机窗口3", "挂机窗口4",
                                                "挂机窗口5"};

// The eight rows of one tab page: container, captions, boxes, buttons and browser.
template <int k>
constexpr std::array<ControlTemplate, 8> page(std::uint16_t first, std::string_view container,
                                              std::string_view address_caption,
                                              std::string_view address_box,
                                              std::string_view interval_caption,
                                              std::string_view interval_box, std::string_view start,
                                              std::string_view stop, std::string_view browser) {
  const auto in = [first](int n) {
    return runtime::ControlId(static_cast<std::uint16_t>(first + n));
  };
  const bool first_page = k == 0;
  return {{
      {.id = in(0),
       .name = container,
       .kind = Kind::shape,
       .parent = ctl::高级选择夹1,
       .page = k,
       .rect = {0, 23, 637, 387},
       .outline_width = 1,
       .outline_color = 0xFF0000},
      {.id = in(1),
       .name = address_caption,
       .kind = Kind::transparent_label,
       .parent = in(0),
       .rect = {3, 6, 55, 15},
       .text = "网站地址:",
       .text_color = 0x000000,
       .align = runtime::Align::center},
      {.id = in(2),
       .name = address_box,
       .kind = Kind::edit_box,
       .parent = in(0),
       .rect = {58, 2, 315, 20},
       .tab_stop = true,
       .text = first_page ? addresses::kSlotOneAddress : "",
       .text_color = 0x9000FF,
       .background = 0xFFFFFF},
      {.id = in(3),
       .name = interval_caption,
       .kind = Kind::transparent_label,
       .parent = in(0),
       .rect = {382, 6, 55, 15},
       .text = "刷新时间:",
       .text_color = 0x000000},
      {.id = in(4),
       .name = interval_box,
       .kind = Kind::edit_box,
       .parent = in(0),
       .rect = {438, 2, 65, 20},
       .tab_stop = true,
       .text = "3000",
       .text_color = 0xFF0000,
       .background = 0xFFFFFF},
      {.id = in(5),
       .name = start,
       .kind = Kind::push_button,
       .parent = in(0),
       .rect = {505, 2, 65, 20},
       .tab_stop = true,
       .text = "启动挂机",
       .align = runtime::Align::center,
       .font = kSong12,
       .clicked = &slots::on_start<k>},
      {.id = in(6),
       .name = stop,
       .kind = Kind::push_button,
       .parent = in(0),
       .rect = {571, 2, 65, 20},
       .tab_stop = true,
       .text = "停止挂机",
       .align = runtime::Align::center,
       .clicked = &slots::on_stop<k>},
      {.id = in(7),
       .name = browser,
       .kind = Kind::browser,
       .parent = in(0),
       .rect = {1, 22, 638, 365},
       .tab_stop = true,
       .text = first_page ? addresses::kSlotOnePage : "",
       .silent = true,
       .offline = false,
       .font_size_level = 2},
  }};
}

constexpr ControlTemplate timer(std::uint16_t id, std::string_view name, int x, void (*tick)()) {
  return {.id = id,
          .name = name,
          .kind = Kind::timer,
          .rect = {x, 528, 26, 26},
          .visible = false,
          .periodic = tick};
}

template <std::size_t... N>
constexpr auto concat(const std::array<ControlTemplate, N>&... parts) {
  std::array<ControlTemplate, (N + ...)> out{};
  std::size_t at = 0;
  ((std::copy(parts.begin(), parts.end(), out.begin() + static_cast<std::ptrdiff_t>(at)), at += N),
   ...);
  return out;
}

const auto kControls = concat(std::array<ControlTemplate, 1>{{
                                  {.id = ctl::高级选择夹1,
                                   .name = "高级选择夹1",
                                   .kind = Kind::tab_control,
                                   .rect = {1, 0, 638, 411},
                                   .tabs = kTabs,
                                   .tab_font = kSong12},
                              }},
                              page<0>(ctl::外形框1, "外形框1", "透明标签1", "编辑框1", "透明标签2",
                                      "编辑框2", "按钮1", "按钮2", "超文本浏览框1"),
                              page<1>(ctl::外形框3, "外形框3", "透明标签4", "编辑框4", "透明标签3",
                                      "编辑框3", "按钮4", "按钮3", "超文本浏览框3"),
                              page<2>(ctl::外形框4, "外形框4", "透明标签6", "编辑框6", "透明标签5",
                                      "编辑框5", "按钮6", "按钮5", "超文本浏览框4"),
                              page<3>(ctl::外形框5, "外形框5", "透明标签8", "编辑框8", "透明标签7",
                                      "编辑框7", "按钮8", "按钮7", "超文本浏览框5"),
                              page<4>(ctl::外形框6, "外形框6", "透明标签10", "编辑框10",
                                      "透明标签9", "编辑框9", "按钮10", "按钮9", "超文本浏览框6"),
                              std::array<ControlTemplate, 5>{{
                                  {.id = ctl::标签1,
                                   .name = "标签1",
                                   .kind = Kind::label,
                                   .rect = {337, 5, 312, 16},
                                   .text = "提示:设置刷新时间3000=3秒,使用Alt+E隐藏/显示界面",
                                   .text_color = 0xFF0000,
                                   .align = runtime::Align::center,
                                   .feedback = &shell::toggle_visibility},
                                  {.id = ctl::外形框2,
                                   .name = "外形框2",
                                   .kind = Kind::shape,
                                   .rect = {0, 411, 639, 62},
                                   .outline_width = 3,
                                   .outline_color = 0x000000},
                                  {.id = ctl::超文本浏览框2,
                                   .name = "超文本浏览框2",
                                   .kind = Kind::browser,
                                   .parent = ctl::外形框2,
                                   .rect = {-37, -18, 729, 150},
                                   .text = addresses::kBannerPage,
                                   .silent = true,
                                   .offline = false,
                                   .font_size_level = 2,
                                   .about_to_navigate = &banner::on_banner_about_to_navigate},
                                  {.id = ctl::简单超文本框1,
                                   .name = "简单超文本框1",
                                   .kind = Kind::simple_hypertext,
                                   .rect = {15, 473, 616, 20},
                                   .tab_stop = true,
                                   .text = banner::kFooterHtml,
                                   .style_sheet = banner::kFooterStyleSheet,
                                   .border = false},
                                  {.id = ctl::超级链接框1,
                                   .name = "超级链接框1",
                                   .kind = Kind::hyperlink_box,
                                   .rect = {208, 528, 40, 24}},
                              }},
                              std::array<ControlTemplate, 5>{{
                                  timer(ctl::时钟1, "时钟1", 8, &slots::on_tick<0>),
                                  timer(ctl::时钟2, "时钟2", 48, &slots::on_tick<1>),
                                  timer(ctl::时钟3, "时钟3", 88, &slots::on_tick<2>),
                                  timer(ctl::时钟4, "时钟4", 128, &slots::on_tick<3>),
                                  timer(ctl::时钟5, "时钟5", 168, &slots::on_tick<4>),
                              }});
static_assert(kControls.size() == ctl::control_count);

const std::array<MenuItem, 9> kMenu{{
    {"菜单", 0},
    {"隐藏窗口", 1, &shell::hide_command},
    {"显示界面", 1, &shell::show_command},
    {"退出程序", 1, &shell::quit_command},
    {"官方网站", 1, &shell::product_page_command},
    {"工具", 0},
    {"站长网址大全", 1, &shell::directory_command},
    {shell::kAttributionMenu, 0},
    {addresses::kSoftHost, 1, &shell::homepage_command},
}};

}  // namespace

const runtime::WindowTemplate& main_window() {
  static const runtime::WindowTemplate window{
      .title = kTitle,
      .outer_width = 645,
      .outer_height = 540,
      .client_height = 494,
      .controls = kControls,
      .menu = kMenu,
      .icon = kProgramIcon,
      .created = &on_created,
      .tray = &shell::on_tray,
  };
  return window;
}

}  // namespace pelorin::app
