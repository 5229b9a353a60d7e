// Starting the updater on POSIX: the command line split at spaces into the argument vector of a
// program started by its absolute path, never through a shell, so that whatever the manifest
// holds reaches the updater as literal text. A stand-in updater records what it received.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/posix/posix_services.h"
#include "support/param_name.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

// A stand-in updater in a fresh directory: writes its argument vector, NUL-separated and its own
// path first, to "argv", and the state it was started in to "status" and "stat".
class StandIn : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelorin-run-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    fs::create_directories(dir / "data");
    updater = dir / "data" / "update.exe";
    std::ofstream(updater) << "#!/bin/sh\n"
                              "here=$(dirname \"$0\")/..\n"
                              "cat /proc/$$/status > \"$here/status\"\n"
                              "cat /proc/$$/stat > \"$here/stat\"\n"
                              "ls /proc/$$/fd > \"$here/fds\"\n"
                              "printf '%s\\0' \"$0\" \"$@\" > \"$here/argv.part\"\n"
                              "mv \"$here/argv.part\" \"$here/argv\"\n";
    fs::permissions(updater, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  }
  void TearDown() override { fs::remove_all(dir); }

  // The argument vector the stand-in recorded, once it has run.
  Args received() {
    const fs::path file = dir / "argv";
    for (int i = 0; i < 500 && !fs::exists(file); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(file, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Args args;
    std::size_t at = 0;
    for (std::size_t end; (end = all.find('\0', at)) != std::string::npos; at = end + 1) {
      args.push_back(all.substr(at, end - at));
    }
    return args;
  }
  std::string read(const char* name) {
    std::ifstream in(dir / name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir;
  fs::path updater;
};

struct Literal {
  const char* name;
  std::string pieces;  // the command line after the updater's path and one space
  Args expected;       // the arguments after the updater's path
};

class LiteralArguments : public StandIn, public testing::WithParamInterface<Literal> {};

TEST_P(LiteralArguments, ReachTheUpdaterAsWritten) {
  const Literal& l = GetParam();
  ASSERT_TRUE(posix::run_program(updater.string() + " " + l.pieces));
  Args expected{updater.string()};
  expected.insert(expected.end(), l.expected.begin(), l.expected.end());
  EXPECT_EQ(received(), expected);
  EXPECT_FALSE(fs::exists(dir / "pwned")) << "a shell ran the command line";
}

INSTANTIATE_TEST_SUITE_P(
    RunProgram, LiteralArguments,
    testing::Values(
        Literal{"updater_command_line",
                "qoruuser_platform http://dl.example/p.zip T run Kestrelmark.exe p.exe a#HHFb",
                {"qoruuser_platform", "http://dl.example/p.zip", "T", "run", "Kestrelmark.exe",
                 "p.exe", "a#HHFb"}},
        Literal{"runs_of_spaces_give_no_empty_arguments",
                "qoruuser_platform http://d  run Kestrelmark.exe f ",
                {"qoruuser_platform", "http://d", "run", "Kestrelmark.exe", "f"}},
        Literal{"semicolon", "a;touch pwned;b", {"a;touch", "pwned;b"}},
        Literal{"pipe_and_redirection", "x|touch>pwned", {"x|touch>pwned"}},
        Literal{"command_substitution",
                "$(touch${IFS}pwned) `touch${IFS}pwned`",
                {"$(touch${IFS}pwned)", "`touch${IFS}pwned`"}},
        Literal{"quotes", "\"a b\" 'c d'", {"\"a", "b\"", "'c", "d'"}},
        Literal{"backslashes", "a\\ b \\\\n C:\\data\\x", {"a\\", "b", "\\\\n", "C:\\data\\x"}},
        Literal{"newline_and_tab_stay_inside", "l1\nl2 t1\tt2", {"l1\nl2", "t1\tt2"}},
        Literal{"globs_and_variables", "* ?? $HOME ~", {"*", "??", "$HOME", "~"}},
        Literal{"gbk_bytes", "\xd0\xc2\xb0\xe6 \x81\x20x", {"\xd0\xc2\xb0\xe6", "\x81", "x"}}),
    testing_support::ByName());

// The updater starts on its own: none of our descriptors, default signal handling, its own
// session, so that it lives on unaffected when the tool ends a moment later.
TEST_F(StandIn, TheUpdaterInheritsNothingOfTheTool) {
  int leak[2];
  ASSERT_EQ(pipe(leak), 0);  // without close-on-exec
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old_term {};
  sigaction(SIGTERM, &ignore, &old_term);
  sigset_t block, old_mask;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  sigprocmask(SIG_BLOCK, &block, &old_mask);

  const bool started = posix::run_program(updater.string() + " x");

  sigprocmask(SIG_SETMASK, &old_mask, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
  close(leak[0]);
  close(leak[1]);
  ASSERT_TRUE(started);
  ASSERT_EQ(received().size(), 2u);

  std::istringstream fds(read("fds"));
  std::vector<int> open;
  for (int fd; fds >> fd;) open.push_back(fd);
  for (int fd : open) {
    // The shell keeps its script open on a high descriptor of its own.
    EXPECT_TRUE(fd <= 2 || fd >= 10) << "descriptor " << fd << " was inherited";
  }
  const std::string status = read("status");
  EXPECT_NE(status.find("SigBlk:\t0000000000000000"), std::string::npos) << status;
  const std::size_t ignored = status.find("SigIgn:\t");
  ASSERT_NE(ignored, std::string::npos);
  const unsigned long long mask = std::stoull(status.substr(ignored + 8, 16), nullptr, 16);
  EXPECT_EQ(mask >> (SIGTERM - 1) & 1, 0u) << "SIGTERM stays ignored: " << status;
  // Field 6 of stat is the session: the stand-in leads its own.
  std::istringstream stat(read("stat"));
  std::string pid, name, state, ppid, pgrp, session;
  stat >> pid >> name >> state >> ppid >> pgrp >> session;
  EXPECT_EQ(session, pid);
  EXPECT_NE(session, std::to_string(getsid(0)));
}

// The state letter of a process ('Z' for one that ended and was never collected), or 0 when no
// such process is left.
char state_of(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string p, name;
  char state = 0;
  in >> p >> name >> state;
  return in ? state : 0;
}

TEST_F(StandIn, EndedProgramsAreCollectedAtTheNextStart) {
  ASSERT_TRUE(posix::run_program(updater.string() + " first"));
  ASSERT_EQ(received().size(), 2u);
  std::istringstream stat(read("stat"));
  std::string first;
  stat >> first;
  for (int i = 0; i < 500 && state_of(first) != 'Z'; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(state_of(first), 'Z');
  fs::remove(dir / "argv");
  ASSERT_TRUE(posix::run_program(updater.string() + " second"));
  EXPECT_EQ(state_of(first), 0);
  EXPECT_EQ(received().size(), 2u);
}

TEST_F(StandIn, WhatCannotBeStartedIsRefusedQuietly) {
  const fs::path plain = dir / "plain.txt";
  std::ofstream(plain) << "not a program\n";
  const std::vector<std::pair<const char*, std::string>> refused{
      {"empty", ""},
      {"only spaces", "   "},
      {"missing updater", (dir / "data" / "missing.exe").string() + " qoruuser_platform"},
      {"relative path", "data/update.exe qoruuser_platform"},
      {"not executable", plain.string() + " x"},
      {"a directory", dir.string() + " x"},
  };
  for (const auto& [what, line] : refused) {
    EXPECT_FALSE(posix::run_program(line)) << what;
  }
  EXPECT_FALSE(fs::exists(dir / "argv"));
}

struct Split {
  const char* name;
  std::string line;
  Args expected;
};

class SplitCommandLine : public testing::TestWithParam<Split> {};

TEST_P(SplitCommandLine, AtSpacesOnly) {
  EXPECT_EQ(posix::split_command_line(GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    RunProgram, SplitCommandLine,
    testing::Values(Split{"empty", "", {}}, Split{"only_spaces", "    ", {}},
                    Split{"one", "a", {"a"}}, Split{"two", "a b", {"a", "b"}},
                    Split{"run_of_spaces", "a   b", {"a", "b"}},
                    Split{"leading_and_trailing", "  a b  ", {"a", "b"}},
                    Split{"tabs_and_newlines_do_not_split", "a\tb\nc d", {"a\tb\nc", "d"}},
                    Split{"quotes_do_not_group", "\"a b\"", {"\"a", "b\""}},
                    Split{"empty_title_in_the_updater_line",
                          "/r/data/update.exe q http://d  run",
                          {"/r/data/update.exe", "q", "http://d", "run"}}),
    testing_support::ByName());

TEST(RunDirectory, IsTheProgramFilesDirectory) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  EXPECT_EQ(posix::run_directory(), self.parent_path().string());
  EXPECT_NE(posix::run_directory().back(), '/');
}

}  // namespace
}  // namespace pelorin
