#include "update/update_check.h"

#include "addresses.h"
#include "controls.h"

namespace pelorin::update {

using runtime::rt;
using runtime::Text;

xml::Document* manifest = nullptr;

namespace {

constexpr const char* kPath = "最新版本/版本信息";
constexpr const char* kMessageHead = "发现有新的版本(";
constexpr const char* kMessageMiddle = ")可以更新，本次更新了如下内容：\r\n";
constexpr const char* kLineBreakMarker = "#HHF";
#ifdef _WIN32
constexpr const char* kUpdaterStart = "\\data\\update.exe qoruuser_platform ";
#else
constexpr const char* kUpdaterStart = "/data/update.exe qoruuser_platform ";
#endif
constexpr const char* kUpdaterRun = " run Kestrelmark.exe ";

Text field(const char* name) {
  return xml::read_attribute(*manifest, kPath, name);
}

}  // namespace

Text updater_command_line() {
  return text::join({rt().run_directory(), kUpdaterStart, field("下载地址"), " ", field("文件标题"),
                     kUpdaterRun, field("文件名"), " ", field("升级说明")});
}

void check() {
  xml::load(*manifest, rt().fetch_url(addresses::kManifest));
  const double version = text::to_number(field("版本号"));
  // Written so that an unordered comparison (a NaN) counts as "not newer".
  if (!(version - kOwnVersion > kNewerThreshold)) return;

  const Text notes = text::replace(field("升级说明"), kLineBreakMarker, "\r\n");
  rt().message_box(text::join({kMessageHead, field("版本号"), kMessageMiddle, notes}),
                   runtime::kInformation);
  rt().write_hyperlink_address(ctl::超级链接框1, addresses::kHomepage);
  rt().navigate_hyperlink(ctl::超级链接框1);
  rt().run_program(updater_command_line());
  rt().exit_program(0);
}

}  // namespace pelorin::update
