// The footer line under the banner: one line of HTML and its style sheet.
#pragma once

namespace pelorin::banner {

extern const char* const kFooterHtml;
extern const char* const kFooterStyleSheet;

}  // namespace pelorin::banner
