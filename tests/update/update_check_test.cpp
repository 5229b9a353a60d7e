// The start-up update check on the headless runtime: which published versions count as newer,
// the whole hand-over when one does (box, homepage, updater, end), the updater's command line
// byte for byte, and the silent start-up on every failure path.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "addresses.h"
#include "app/app.h"
#include "controls.h"
#include "runtime/headless/headless.h"
#include "runtime/xml.h"
#include "support/param_name.h"
#include "update/update_check.h"

namespace pelorin {
namespace {

using headless::Headless;
using runtime::Text;

struct Fields {
  Text version = "1.4";
  Text notes = "a#HHFb#HHF";
  Text address = "http://dl.example/p.zip";
  Text title = "T";
  Text name = "p.exe";
};

// A manifest of the published shape, in the tool's code page.
Text manifest(const Fields& f) {
  return "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<最新版本>\r\n  <版本信息 版本号=\"" +
         f.version + "\" 升级说明=\"" + f.notes + "\" 下载地址=\"" + f.address + "\" 文件标题=\"" +
         f.title + "\" 文件名=\"" + f.name + "\"/>\r\n</最新版本>\r\n";
}

Text box_text(const Text& version, const Text& notes_with_breaks) {
  return "发现有新的版本(" + version + ")可以更新，本次更新了如下内容：\r\n" + notes_with_breaks;
}

// The calls of a run that the update check and what follows it make, in order.
std::vector<Text> steps(const Headless& h) {
  static const std::vector<Text> kept{"fetch_url",       "message_box",     "hyperlink_address",
                                      "open_in_browser", "run_program",     "exit_program",
                                      "end_of_run",      "register_hotkey", "show"};
  std::vector<Text> out;
  for (const headless::Call& c : h.calls()) {
    if (std::find(kept.begin(), kept.end(), c.op) != kept.end()) out.push_back(c.op);
  }
  return out;
}

std::optional<Text> arg_of(const Headless& h, const Text& op) {
  for (const headless::Call& c : h.calls()) {
    if (c.op == op) return c.arg;
  }
  return std::nullopt;
}

std::size_t count(const Headless& h, const Text& op, const Text& arg) {
  return static_cast<std::size_t>(
      std::count_if(h.calls().begin(), h.calls().end(),
                    [&](const headless::Call& c) { return c.op == op && c.arg == arg; }));
}

const std::vector<Text> kHandOver{"fetch_url",       "message_box", "hyperlink_address",
                                  "open_in_browser", "run_program", "exit_program",
                                  "end_of_run"};
const std::vector<Text> kStartsAsUsual{"fetch_url", "register_hotkey", "show", "end_of_run"};

// One run of the tool with `body` as the answer of the update server (none: unreachable).
// Records what the box showed and what had happened by the time it was open.
struct ToolRun {
  Headless h;
  int code = -1;
  std::vector<Text> boxes;
  std::vector<Text> steps_while_box_open;
  bool manifest_loaded_while_box_open = false;
  bool session_ran = false;

  explicit ToolRun(const std::optional<Text>& body, const Text& directory = "/opt/pelorin") {
    if (body) h.responses[addresses::kManifest] = *body;
    h.program_directory = directory;
    h.on_message_box = [this](const Text& message, const Text& caption) {
      EXPECT_EQ(caption, "信息：");
      boxes.push_back(message);
      steps_while_box_open = steps(h);
      manifest_loaded_while_box_open = update::manifest && update::manifest->loaded();
    };
    code = h.run(app::main_window(), &app::entry_routine, [this] { session_ran = true; });
  }
};

// ---- which versions are newer
// --------------------------------------------------------------------

struct Published {
  const char* name;
  Text version;
  bool newer;
};

class PublishedVersion : public testing::TestWithParam<Published> {};

TEST_P(PublishedVersion, HandsOverOnlyWhenNewer) {
  const Published& p = GetParam();
  Fields f;
  f.version = p.version;
  ToolRun run(manifest(f));
  EXPECT_EQ(run.code, 0);
  ASSERT_EQ(arg_of(run.h, "fetch_url"), Text(addresses::kManifest));
  EXPECT_EQ(count(run.h, "fetch_url", addresses::kManifest), 1u);
  // The exit routine releases the document exactly once, whichever way the run ends.
  EXPECT_EQ(count(run.h, "release", std::to_string(sizeof(xml::Document))), 1u);
  EXPECT_EQ(run.h.live_allocations(), 0u);
  EXPECT_EQ(update::manifest, nullptr);

  if (!p.newer) {
    EXPECT_EQ(steps(run.h), kStartsAsUsual);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(run.h.window_ever_shown());
    EXPECT_TRUE(run.session_ran);
    return;
  }
  EXPECT_EQ(steps(run.h), kHandOver);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0], box_text(p.version, "a\r\nb\r\n"));
  EXPECT_EQ(arg_of(run.h, "message_box_flags"), "64");
  // The box comes first: nothing else of the hand-over has happened while it is open.
  EXPECT_EQ(run.steps_while_box_open, (std::vector<Text>{"fetch_url", "message_box"}));
  EXPECT_TRUE(run.manifest_loaded_while_box_open);
  EXPECT_EQ(arg_of(run.h, "hyperlink_address"), Text(addresses::kHomepage));
  EXPECT_EQ(arg_of(run.h, "open_in_browser"), Text(addresses::kHomepage));
  EXPECT_EQ(arg_of(run.h, "run_program"),
            "/opt/pelorin/data/update.exe qoruuser_platform http://dl.example/p.zip T run "
            "Kestrelmark.exe p.exe a#HHFb#HHF");
  EXPECT_EQ(arg_of(run.h, "exit_program"), "0");
  EXPECT_FALSE(run.h.window_ever_shown());
  EXPECT_FALSE(run.session_ran);
}

INSTANTIATE_TEST_SUITE_P(UpdateCheck, PublishedVersion,
                         testing::Values(Published{"own_version", "1.3", false},
                                         Published{"below_threshold", "1.30000009", false},
                                         Published{"just_above_threshold", "1.3000001", true},
                                         Published{"v1_31", "1.31", true},
                                         Published{"v1_4", "1.4", true}, Published{"v2", "2", true},
                                         Published{"older", "1.29", false},
                                         Published{"zero", "0", false},
                                         Published{"leading_space_shown_as_written", " 1.4", true},
                                         Published{"letters_after_the_number", "1.4beta", true},
                                         Published{"letter_before_the_number", "V1.4", false},
                                         Published{"two_points", "1.3.1", false},
                                         Published{"full_width_digits_and_point", "１．４", true},
                                         Published{"negative", "-2", false},
                                         Published{"exponent", "1.4e0", true},
                                         Published{"empty", "", false}),
                         testing_support::ByName());

// ---- the box text
// ---------------------------------------------------------------------------------

struct Notes {
  const char* name;
  Text notes;
  Text shown;  // the notes as they end the box text
};

class ReleaseNotes : public testing::TestWithParam<Notes> {};

TEST_P(ReleaseNotes, MarkersBecomeLineBreaksInTheBoxOnly) {
  const Notes& n = GetParam();
  Fields f;
  f.notes = n.notes;
  ToolRun run(manifest(f));
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0], box_text("1.4", n.shown));
  // The updater gets the notes as published, markers and all, as its last piece.
  const Text line = arg_of(run.h, "run_program").value_or("");
  EXPECT_EQ(line.substr(line.size() - n.notes.size()), n.notes);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateCheck, ReleaseNotes,
    testing::Values(Notes{"two_markers", "a#HHFb#HHF", "a\r\nb\r\n"},
                    Notes{"small_letters_stay", "a#hhfb", "a#hhfb"},
                    Notes{"markers_in_a_row", "#HHF#HHF", "\r\n\r\n"},
                    Notes{"overlapping_hashes", "##HHFF", "#\r\nF"},
                    Notes{"chinese_text", "修复了错误#HHF提高速度", "修复了错误\r\n提高速度"},
                    // "\x81#" is one two-byte character: its second byte starts no marker.
                    Notes{"marker_inside_a_character", "\x81#HHF", "\x81#HHF"},
                    Notes{"markup_kept_as_text", "<b>bold</b> <br/>", "<b>bold</b> <br/>"},
                    Notes{"empty", "", ""}),
    testing_support::ByName());

// ---- the updater's command line
// -------------------------------------------------------------------

struct CommandLine {
  const char* name;
  Text directory;
  Fields fields;
  Text expected;
};

class UpdaterCommandLine : public testing::TestWithParam<CommandLine> {};

TEST_P(UpdaterCommandLine, IsJoinedByteForByte) {
  const CommandLine& c = GetParam();
  ToolRun run(manifest(c.fields), c.directory);
  EXPECT_EQ(arg_of(run.h, "run_program"), c.expected);
  EXPECT_EQ(run.code, 0);
}

Fields with(Fields f, Text Fields::*member, Text value) {
  f.*member = std::move(value);
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    UpdateCheck, UpdaterCommandLine,
    testing::Values(
        CommandLine{"every_piece", "/opt/pelorin",
                    Fields{"1.4", "修复#HHF更快", "http://dl.example/get?id=7&v=1.4", "新版本",
                           "刷流量.exe"},
                    "/opt/pelorin/data/update.exe qoruuser_platform "
                    "http://dl.example/get?id=7&v=1.4 新版本 run Kestrelmark.exe 刷流量.exe "
                    "修复#HHF更快"},
        CommandLine{"empty_title_leaves_two_spaces", "/opt/pelorin", with({}, &Fields::title, ""),
                    "/opt/pelorin/data/update.exe qoruuser_platform http://dl.example/p.zip  run "
                    "Kestrelmark.exe p.exe a#HHFb#HHF"},
        CommandLine{"empty_notes_end_with_a_space", "/opt/pelorin", with({}, &Fields::notes, ""),
                    "/opt/pelorin/data/update.exe qoruuser_platform http://dl.example/p.zip T run "
                    "Kestrelmark.exe p.exe "},
        CommandLine{"empty_address", "/opt/pelorin", with({}, &Fields::address, ""),
                    "/opt/pelorin/data/update.exe qoruuser_platform  T run Kestrelmark.exe p.exe "
                    "a#HHFb#HHF"},
        CommandLine{"empty_file_name", "/opt/pelorin", with({}, &Fields::name, ""),
                    "/opt/pelorin/data/update.exe qoruuser_platform http://dl.example/p.zip T run "
                    "Kestrelmark.exe  a#HHFb#HHF"},
        CommandLine{"every_value_empty", "/opt/pelorin", Fields{"1.4", "", "", "", ""},
                    "/opt/pelorin/data/update.exe qoruuser_platform   run Kestrelmark.exe  "},
        CommandLine{"program_in_the_root_directory",
                    "",
                    {},
                    "/data/update.exe qoruuser_platform http://dl.example/p.zip T run "
                    "Kestrelmark.exe p.exe a#HHFb#HHF"},
        CommandLine{"directory_with_spaces_unquoted",
                    "/home/me/my tools",
                    {},
                    "/home/me/my tools/data/update.exe qoruuser_platform http://dl.example/p.zip "
                    "T run Kestrelmark.exe p.exe a#HHFb#HHF"},
        CommandLine{"values_with_spaces_unquoted", "/opt/pelorin",
                    with({}, &Fields::title, "Pelorin 1.4 full"),
                    "/opt/pelorin/data/update.exe qoruuser_platform http://dl.example/p.zip "
                    "Pelorin 1.4 full run Kestrelmark.exe p.exe a#HHFb#HHF"},
        CommandLine{"shell_characters_unescaped", "/opt/pelorin",
                    with({}, &Fields::name, "a;b|c$(rm -rf x)`id`'q'\\"),
                    "/opt/pelorin/data/update.exe qoruuser_platform http://dl.example/p.zip T run "
                    "Kestrelmark.exe a;b|c$(rm -rf x)`id`'q'\\ a#HHFb#HHF"},
        CommandLine{"references_decoded", "/opt/pelorin",
                    with({}, &Fields::notes, "&quote;x&quote; &amp; &quot;"),
                    "/opt/pelorin/data/update.exe qoruuser_platform http://dl.example/p.zip T run "
                    "Kestrelmark.exe p.exe \"x\" & &quot;"}),
    testing_support::ByName());

// ---- every failure before the comparison: nothing shown, start-up goes on
// --------------------------

struct Failure {
  const char* name;
  std::optional<Text> body;  // none: the server cannot be reached
};

class FailurePath : public testing::TestWithParam<Failure> {};

TEST_P(FailurePath, StartsAsUsualWithoutAnyMessage) {
  const Failure& f = GetParam();
  ToolRun run(f.body);
  EXPECT_EQ(run.code, 0);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_EQ(steps(run.h), kStartsAsUsual);
  EXPECT_TRUE(run.h.window_ever_shown());
  EXPECT_TRUE(run.session_ran);
  EXPECT_EQ(arg_of(run.h, "run_program"), std::nullopt);
  EXPECT_EQ(count(run.h, "release", std::to_string(sizeof(xml::Document))), 1u);
}

Text utf8(const char8_t* s) {
  return Text(reinterpret_cast<const char*>(s));
}

Text cut_in_half(const Text& s) {
  return s.substr(0, s.size() / 2);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateCheck, FailurePath,
    testing::Values(
        Failure{"unreachable", std::nullopt}, Failure{"empty_body", Text{}},
        Failure{"error_status_body",
                Text("<html><head><title>404 Not Found</title></head><body>Not Found</body>"
                     "</html>")},
        Failure{"not_xml", Text("this is no manifest\r\n")},
        Failure{"binary_garbage", Text("\x00\xff\x81<\x02>", 6)},
        Failure{"utf8_manifest",
                utf8(u8"<最新版本><版本信息 版本号=\"1.4\" 升级说明=\"n\" 下载地址=\"d\" "
                     u8"文件标题=\"t\" 文件名=\"f\"/></最新版本>")},
        Failure{"utf8_manifest_with_bom",
                utf8(u8"\uFEFF<最新版本><版本信息 版本号=\"1.4\"/></最新版本>")},
        Failure{"cut_mid_transfer", cut_in_half(manifest({}))},
        Failure{"end_tag_missing", Text("<最新版本><版本信息 版本号=\"1.4\"/>")},
        Failure{"cut_at_the_size_cap",
                "<最新版本><版本信息 版本号=\"1.4\"/>" + Text((1 << 20) - 40, ' ')},
        Failure{"version_missing", Text("<最新版本><版本信息 升级说明=\"n\"/></最新版本>")},
        Failure{"element_missing", Text("<最新版本><其他 版本号=\"1.4\"/></最新版本>")},
        Failure{"nested_too_deep", Text("<最新版本><x><版本信息 版本号=\"1.4\"/></x></最新版本>")},
        Failure{"wrong_top_element", Text("<版本信息 版本号=\"1.4\"/>")}),
    testing_support::ByName());

TEST(UpdateCheck, AnOlderManifestStaysLoadedForTheRun) {
  Fields f;
  f.version = "1.2";
  Headless h;
  h.responses[addresses::kManifest] = manifest(f);
  bool loaded = false;
  h.run(app::main_window(), &app::entry_routine,
        [&] { loaded = update::manifest && update::manifest->loaded(); });
  EXPECT_TRUE(loaded);
  EXPECT_EQ(count(h, "fetch_url", addresses::kManifest), 1u);
}

}  // namespace
}  // namespace pelorin
