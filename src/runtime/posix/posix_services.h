// The system services of the runtime on POSIX: the manifest fetch, the run directory and the
// start of a program. No toolkit: the Qt backend forwards to these.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace pelorin::posix {

// The tool sets no time-out of its own; these are the platform layer's defaults, the ones of the
// system the tool was first made for, so that an unreachable, silent or trickling server cannot
// keep the tool from ever starting.
struct FetchLimits {
  std::chrono::milliseconds connect{60'000};   // name lookup and connection
  std::chrono::milliseconds stall{30'000};     // once connected: no byte arriving for this long
  std::chrono::milliseconds overall{120'000};  // the whole transfer, however the bytes trickle
  std::size_t max_body = 1 << 20;              // a manifest is a few hundred bytes
};

// HTTP/1.0 GET, the body read to its end whatever the status; the bytes read so far when the
// connection breaks or a limit is reached; empty when nothing was read.
runtime::Bytes fetch_url(const runtime::Text& address, const FetchLimits& limits = {});

// The directory of the running program file, without a trailing "/" (empty for the root).
runtime::Text run_directory();

// The argument vector of a command line: split at spaces, runs of spaces give no empty
// arguments, nothing quoted or escaped.
std::vector<std::string> split_command_line(const runtime::Text& command_line);

// Starts the program named by the first argument (an absolute path, never through a shell) and
// returns once it runs. Returns false when it could not be started.
bool run_program(const runtime::Text& command_line);

// Starts a program found on PATH with `args`, detached; returns false when it could not start.
bool spawn_detached(const std::vector<std::string>& args);

}  // namespace pelorin::posix
