#include "banner/footer.h"

#include "addresses.h"

namespace pelorin::banner {

#define PELORIN_HOMEPAGE "http://" PELORIN_SOFT_HOST "/?soft"

// Short enough to stay on one line of the 616-pixel box in 9-point text.
// clang-format off
const char* const kFooterHtml =
    "<p>版权:<a href=\"" PELORIN_HOMEPAGE "\">dev@pelorin.example</a> 2024-2026 "
    "技术支持:<a href=\"" PELORIN_HOMEPAGE "\"><font color=\"#FF0000\">Pelorin</font></a> "
    PELORIN_SOFT_HOST " ICP备0000号 保留权利</p>";
// clang-format on

#undef PELORIN_HOMEPAGE

// Rules separated by CR LF, no line break after the last; the body rule on six lines.
const char* const kFooterStyleSheet =
    "body {\r\n"
    "\tfont-size: 9pt;\r\n"
    "\tcolor:black;\r\n"
    "\tfont-family:\"宋体\",Verdana;\r\n"
    "\tbackground-color: #aad5f4;\r\n"
    "}\r\n"
    "p {font-size: 9pt; color:black; font-family:\"宋体\",Verdana}\r\n"
    "h1 {font-size: 14pt; color:black; font-family:\"宋体\",Verdana; font-weight:bold}\r\n"
    "h2 {font-size: 13pt; color:#ff9900; font-family:\"宋体\",Verdana; font-weight:bold}\r\n"
    "h3 {font-size: 12pt; color:#ff9900; font-family:\"宋体\",Arial; font-weight:bold}\r\n"
    "h4 {font-size: 10pt; color:black; font-family:\"宋体\",Verdana; font-weight:bold}\r\n"
    "h5 {font-size: 9pt; color:#ff9900; font-family:\"宋体\",Verdana; font-weight:bold}\r\n"
    "h6 {font-size: 65%; color:#626262; font-family:\"宋体\",Verdana; font-weight:normal}\r\n"
    "pre {font-size: 9pt; font-family:\"宋体\",\"Courier\"; background-color:#fbedbb}\r\n"
    "code {color:#990000; font-family:\"宋体\",Arial}\r\n"
    "a:link {text-decoration: none}\r\n"
    "a:visited {text-decoration: none}\r\n"
    "a:hover {text-decoration: none}\r\n"
    "sub {font-size:65%; vertical-align:bottom}\r\n"
    "sup {font-size:65%; vertical-align:top}\r\n"
    "big {font-size:125%}\r\n"
    "small {font-size:75%}\r\n"
    ".comment {color:green}\r\n"
    "a:active {test:expression(target=\"_blank\");}";

}  // namespace pelorin::banner
