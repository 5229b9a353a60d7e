// The footer line and its style sheet, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "addresses.h"
#include "banner/footer.h"

namespace pelorin {
namespace {

// 宋体 in GBK.
#define SONG "\xCB\xCE\xCC\xE5"

// The sheet as the footer box must get it, written out rule by rule: CR LF between the rules,
// the body rule over six lines with tab indents, nothing after the last rule.
constexpr std::string_view kExpectedSheet =
    "body {\r\n"
    "\tfont-size: 9pt;\r\n"
    "\tcolor:black;\r\n"
    "\tfont-family:\"" SONG
    "\",Verdana;\r\n"
    "\tbackground-color: #aad5f4;\r\n"
    "}\r\n"
    "p {font-size: 9pt; color:black; font-family:\"" SONG
    "\",Verdana}\r\n"
    "h1 {font-size: 14pt; color:black; font-family:\"" SONG
    "\",Verdana; font-weight:bold}\r\n"
    "h2 {font-size: 13pt; color:#ff9900; font-family:\"" SONG
    "\",Verdana; font-weight:bold}\r\n"
    "h3 {font-size: 12pt; color:#ff9900; font-family:\"" SONG
    "\",Arial; font-weight:bold}\r\n"
    "h4 {font-size: 10pt; color:black; font-family:\"" SONG
    "\",Verdana; font-weight:bold}\r\n"
    "h5 {font-size: 9pt; color:#ff9900; font-family:\"" SONG
    "\",Verdana; font-weight:bold}\r\n"
    "h6 {font-size: 65%; color:#626262; font-family:\"" SONG
    "\",Verdana; font-weight:normal}\r\n"
    "pre {font-size: 9pt; font-family:\"" SONG
    "\",\"Courier\"; background-color:#fbedbb}\r\n"
    "code {color:#990000; font-family:\"" SONG
    "\",Arial}\r\n"
    "a:link {text-decoration: none}\r\n"
    "a:visited {text-decoration: none}\r\n"
    "a:hover {text-decoration: none}\r\n"
    "sub {font-size:65%; vertical-align:bottom}\r\n"
    "sup {font-size:65%; vertical-align:top}\r\n"
    "big {font-size:125%}\r\n"
    "small {font-size:75%}\r\n"
    ".comment {color:green}\r\n"
    "a:active {test:expression(target=\"_blank\");}";

TEST(FooterSheet, IsTheExpectedBytes) {
  EXPECT_EQ(std::string_view(banner::kFooterStyleSheet), kExpectedSheet);
}

TEST(FooterSheet, HasNineteenRulesOnTwentyFourLines) {
  const std::string_view sheet = banner::kFooterStyleSheet;
  int crlf = 0, rules = 0;
  for (std::size_t i = 0; i < sheet.size(); ++i) {
    if (sheet[i] == '\n') {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(sheet[i - 1], '\r') << "a bare LF at " << i;
      ++crlf;
    }
    if (sheet[i] == '\r') {
      EXPECT_EQ(sheet.substr(i, 2), "\r\n") << "a bare CR at " << i;
    }
    if (sheet[i] == '{') ++rules;
  }
  EXPECT_EQ(rules, 19);
  EXPECT_EQ(crlf, 18 + 5) << "18 between the rules, 5 inside the body rule";
  EXPECT_NE(sheet.back(), '\n');
  EXPECT_EQ(sheet.substr(sheet.rfind('\n') + 1), "a:active {test:expression(target=\"_blank\");}");
}

// The parts of the footer line, in the order the line must give them.
TEST(FooterLine, GivesItsPartsInOrderOnOneLine) {
  const std::string html = banner::kFooterHtml;
  EXPECT_EQ(html.find('\n'), std::string::npos);
  EXPECT_EQ(html.find('\r'), std::string::npos);
  const std::string link = std::string("<a href=\"http://") + addresses::kSoftHost + "/?soft\">";
  const std::size_t first_link = html.find(link);
  const std::size_t owner_end = html.find("</a>", first_link);
  const std::size_t years = html.find("2024-2026", owner_end);
  const std::size_t second_link = html.find(link, years);
  const std::size_t red = html.find("color=\"#FF0000\"", second_link);
  const std::size_t credit_end = html.find("</a>", red);
  const std::size_t host = html.find(addresses::kSoftHost, credit_end);
  const std::size_t registration = html.find("ICP", host);
  const std::size_t rights = html.find("保留", registration);
  for (std::size_t at :
       {first_link, owner_end, years, second_link, red, credit_end, host, registration, rights}) {
    ASSERT_NE(at, std::string::npos) << html;
  }
  EXPECT_NE(html.substr(0, first_link).find("版权"), std::string::npos)
      << "the ownership notice leads the line";
  EXPECT_NE(html.substr(years, second_link - years).find("技术支持"), std::string::npos)
      << "the credit notice";
  EXPECT_EQ(html.find("<a ", second_link + 1), std::string::npos) << "two links only";
}

}  // namespace
}  // namespace pelorin
