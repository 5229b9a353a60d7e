#include "runtime/posix/posix_services.h"

#include <curl/curl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <mutex>
#include <optional>
#include <vector>

extern char** environ;

namespace pelorin::posix {

namespace {

using Clock = std::chrono::steady_clock;

// One transfer's state. The stall clock starts when the connection is up (before that the
// connect limit governs) and is wound back by every byte of the headers or the body.
struct Transfer {
  runtime::Bytes body;
  std::size_t max_body;
  std::chrono::milliseconds stall;
  std::optional<Clock::time_point> last_byte;
};

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  t->last_byte = Clock::now();
  const std::size_t n = size * count;
  const std::size_t room = t->max_body - t->body.size();
  t->body.append(data, n < room ? n : room);
  return n <= room ? n : 0;  // past the cap: stop the transfer, keep what fits
}

std::size_t on_header(char*, std::size_t size, std::size_t count, void* user) {
  static_cast<Transfer*>(user)->last_byte = Clock::now();
  return size * count;
}

int on_connected(void* user, char*, char*, int, int) {
  static_cast<Transfer*>(user)->last_byte = Clock::now();
  return CURL_PREREQFUNC_OK;
}

// Called about once a second while nothing arrives; a non-zero result aborts the transfer.
int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* t = static_cast<const Transfer*>(user);
  return t->last_byte && Clock::now() - *t->last_byte > t->stall ? 1 : 0;
}

void init_curl_once() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Children started earlier that have ended are collected at the next start, so that a tool that
// opens many pages leaves no trail of finished processes behind.
void collect_ended(std::vector<pid_t>& children) {
  std::erase_if(children, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

// Starts args[0] with exactly `args`, never through a shell. The child gets no descriptor of ours
// beyond the standard three, default signal handling and a session of its own, so it lives on
// unaffected when the tool ends.
bool spawn(const std::vector<std::string>& args, bool search_path) {
  if (args.empty()) return false;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attr;
  posix_spawn_file_actions_t actions;
  if (posix_spawnattr_init(&attr) != 0) return false;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    posix_spawnattr_destroy(&attr);
    return false;
  }
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  pid_t pid = 0;
  const int rc = search_path ? posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ)
                             : posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  static std::vector<pid_t> children;
  collect_ended(children);
  if (rc == 0) children.push_back(pid);
  return rc == 0;
}

}  // namespace

runtime::Bytes fetch_url(const runtime::Text& address, const FetchLimits& limits) {
  init_curl_once();
  Transfer t{{}, limits.max_body, limits.stall, std::nullopt};
  CURL* curl = curl_easy_init();
  if (!curl) return {};
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Accept: */*");
  headers = curl_slist_append(headers, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.overall.count()));
  curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &on_connected);
  curl_easy_setopt(curl, CURLOPT_PREREQDATA, &t);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &on_header);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &on_body);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &on_progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
  curl_easy_perform(curl);  // whatever the outcome, the bytes read so far are the result
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  return std::move(t.body);
}

runtime::Text run_directory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path) return {};
  runtime::Text file(path, static_cast<std::size_t>(n));
  return file.substr(0, file.rfind('/'));
}

std::vector<std::string> split_command_line(const runtime::Text& command_line) {
  std::vector<std::string> args;
  std::size_t at = 0;
  while (at < command_line.size()) {
    const std::size_t end = command_line.find(' ', at);
    const std::size_t stop = end == runtime::Text::npos ? command_line.size() : end;
    if (stop > at) args.push_back(command_line.substr(at, stop - at));
    at = stop + 1;
  }
  return args;
}

bool run_program(const runtime::Text& command_line) {
  const std::vector<std::string> args = split_command_line(command_line);
  if (args.empty() || args.front().front() != '/') return false;
  return spawn(args, false);
}

bool spawn_detached(const std::vector<std::string>& args) {
  return spawn(args, true);
}

}  // namespace pelorin::posix
