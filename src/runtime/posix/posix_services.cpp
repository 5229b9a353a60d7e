#include "runtime/posix/posix_services.h"

#include <curl/curl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <mutex>

extern char** environ;

namespace pelorin::posix {

namespace {

struct Body {
  runtime::Bytes bytes;
  std::size_t max;
};

std::size_t keep(char* data, std::size_t size, std::size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  const std::size_t n = size * count;
  const std::size_t room = body->max - body->bytes.size();
  body->bytes.append(data, n < room ? n : room);
  return n <= room ? n : 0;  // past the cap: stop the transfer, keep what fits
}

void init_curl_once() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool spawn(const std::vector<std::string>& args, bool search_path) {
  if (args.empty()) return false;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = search_path ? posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ)
                             : posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  return rc == 0;
}

}  // namespace

runtime::Bytes fetch_url(const runtime::Text& address, const FetchLimits& limits) {
  init_curl_once();
  Body body{{}, limits.max_body};
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
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(limits.connect.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.stall.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(limits.overall.count()));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &keep);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_perform(curl);  // whatever the outcome, the bytes read so far are the result
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  return std::move(body.bytes);
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

bool spawn_detached(const std::vector<std::string>& args) { return spawn(args, true); }

}  // namespace pelorin::posix
