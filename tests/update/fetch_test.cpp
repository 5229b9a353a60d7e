// The manifest fetch on POSIX against servers on the loopback interface that misbehave in every
// way the update server can: error statuses, broken connections, silence, trickling bytes and
// bodies far beyond any manifest. The limits are scaled down so that each case takes seconds.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/posix/posix_services.h"
#include "support/param_name.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A connection the server has accepted, with its request already read.
class Connection {
 public:
  Connection(int fd, std::function<bool(milliseconds)> pause) : fd_(fd), pause_(std::move(pause)) {}
  // Sends all of `bytes`; false once the client has gone.
  bool send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
  // Waits; false when the server is being stopped.
  bool pause(milliseconds period) { return pause_(period); }

 private:
  int fd_;
  std::function<bool(milliseconds)> pause_;
};

using Behaviour = std::function<void(Connection&, const std::string& request)>;

// A loopback HTTP server on its own thread: accepts connections one after another, reads each
// request up to its blank line and hands the connection to `behaviour`; closes it afterwards.
class Server {
 public:
  explicit Server(Behaviour behaviour, int backlog = 8) : behaviour_(std::move(behaviour)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(listen(listener_, backlog), 0);
    socklen_t len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (behaviour_) thread_ = std::thread([this] { serve(); });
  }
  ~Server() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }

  std::string url(const std::string& path = "/QTVAR/data.xml") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int port() const { return port_; }
  std::vector<std::string> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void serve() {
    for (;;) {
      pollfd p{listener_, POLLIN, 0};
      while (poll(&p, 1, 50) == 0) {
        if (stopped()) return;
      }
      if (stopped()) return;
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      Connection c(fd, [this](milliseconds period) {
        std::unique_lock lock(mutex_);
        return !wake_.wait_for(lock, period, [this] { return stopping_; });
      });
      behaviour_(c, request);
      close(fd);
    }
  }
  bool stopped() {
    std::lock_guard lock(mutex_);
    return stopping_;
  }

  Behaviour behaviour_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::vector<std::string> requests_;
};

// Short limits so that each case takes seconds; the product's own are checked on their own.
constexpr posix::FetchLimits kTestLimits{1500ms, 1000ms, 3000ms, 1 << 20};

struct Timed {
  runtime::Bytes body;
  milliseconds took;
};

Timed timed_fetch(const std::string& url, const posix::FetchLimits& limits = kTestLimits) {
  const auto start = Clock::now();
  runtime::Bytes body = posix::fetch_url(url, limits);
  return {std::move(body), std::chrono::duration_cast<milliseconds>(Clock::now() - start)};
}

std::string response(const std::string& status, const std::string& body) {
  return "HTTP/1.0 " + status +
         "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

const std::string kManifest = "<m><v n=\"1.4\"/></m>";

TEST(Fetch, AsksOnceWithThePlatformsRequest) {
  Server server([](Connection& c, const std::string&) { c.send(response("200 OK", kManifest)); });
  EXPECT_EQ(posix::fetch_url(server.url()), kManifest);
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& r = requests[0];
  EXPECT_EQ(r.rfind("GET /QTVAR/data.xml HTTP/1.0\r\n", 0), 0u) << r;
  EXPECT_NE(r.find("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"),
            std::string::npos)
      << r;
  EXPECT_NE(r.find("\r\nAccept: */*\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nPragma: no-cache\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nCache-Control: no-cache\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nHost: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"),
            std::string::npos)
      << r;
}

TEST(Fetch, TheProductsLimitsAreBounded) {
  const posix::FetchLimits limits;
  EXPECT_EQ(limits.connect, 60s);
  EXPECT_EQ(limits.stall, 30s);
  EXPECT_GE(limits.overall, limits.connect + limits.stall);
  EXPECT_LE(limits.overall, 5min);
  EXPECT_EQ(limits.max_body, 1u << 20);
}

// What one misbehaving server yields, and how long the tool waits for it.
struct Case {
  const char* name;
  Behaviour server;
  runtime::Bytes expected;
  milliseconds at_least;  // the limit that must have been waited for
  milliseconds at_most;   // and where the fetch must have given up
};

class Answers : public testing::TestWithParam<Case> {};

TEST_P(Answers, YieldWhatWasRead) {
  const Case& c = GetParam();
  Server server(c.server);
  const Timed t = timed_fetch(server.url());
  EXPECT_EQ(t.body, c.expected);
  EXPECT_GE(t.took, c.at_least);
  EXPECT_LE(t.took, c.at_most);
}

const std::string kTrickleHead = "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Fetch, Answers,
    testing::Values(
        Case{"ok", [](Connection& c, auto&) { c.send(response("200 OK", kManifest)); }, kManifest,
             0ms, 1000ms},
        Case{"error_status_with_body",
             [](Connection& c, auto&) { c.send(response("404 Not Found", "<h1>gone</h1>")); },
             "<h1>gone</h1>", 0ms, 1000ms},
        Case{"server_error_with_body",
             [](Connection& c, auto&) { c.send(response("500 Oops", "broken")); }, "broken", 0ms,
             1000ms},
        Case{"body_until_close_without_length",
             [](Connection& c, auto&) { c.send("HTTP/1.0 200 OK\r\n\r\n" + kManifest); }, kManifest,
             0ms, 1000ms},
        Case{"empty_body", [](Connection& c, auto&) { c.send(response("200 OK", "")); }, "", 0ms,
             1000ms},
        Case{"connection_breaks_mid_body",
             [](Connection& c, auto&) {
               c.send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(40, 'x'));
             },
             std::string(40, 'x'), 0ms, 1000ms},
        Case{"connection_breaks_in_the_headers",
             [](Connection& c, auto&) { c.send("HTTP/1.0 200 OK\r\nContent-Le"); }, "", 0ms,
             1000ms},
        Case{"closed_without_a_word", [](Connection&, auto&) {}, "", 0ms, 1000ms},
        Case{"redirect_followed",
             [](Connection& c, const std::string& request) {
               if (request.rfind("GET /QTVAR/data.xml ", 0) == 0) {
                 c.send(
                     "HTTP/1.0 302 Found\r\nLocation: /moved.xml\r\nContent-Length: 3\r\n\r\nabc");
               } else {
                 c.send(response("200 OK", kManifest));
               }
             },
             kManifest, 0ms, 1000ms},
        // Accepted, never answered: cut by the stall limit, nothing read.
        Case{"never_answers", [](Connection& c, auto&) { c.pause(60s); }, "", 1000ms, 4000ms},
        // Silent after a part of the body: cut by the stall limit, the part kept.
        Case{"silent_after_some_bytes",
             [](Connection& c, auto&) {
               c.send(kTrickleHead + "abcde");
               c.pause(60s);
             },
             "abcde", 1000ms, 4000ms}),
    testing_support::ByName());

// A byte every 0.4 s never lets the stall limit pass: the overall limit ends the transfer, with
// the bytes that had arrived (their exact count depends on scheduling).
TEST(Fetch, ATrickleIsCutByTheOverallLimitWithWhatArrived) {
  Server server([](Connection& c, const std::string&) {
    c.send(kTrickleHead);
    while (c.pause(400ms) && c.send("z")) {
    }
  });
  const Timed t = timed_fetch(server.url());
  EXPECT_GE(t.body.size(), 2u);
  EXPECT_LE(t.body.size(), 8u);
  EXPECT_EQ(t.body.find_first_not_of('z'), std::string::npos);
  EXPECT_GE(t.took, 3000ms);
  EXPECT_LE(t.took, 5000ms);
}

TEST(Fetch, AHugeBodyStopsAtTheCapWithBoundedMemory) {
  constexpr std::size_t kHundredMiB = 100u << 20;
  std::atomic<std::size_t> sent{0};
  Server server([&](Connection& c, const std::string&) {
    if (!c.send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kHundredMiB) + "\r\n\r\n")) {
      return;
    }
    const std::string chunk(64 << 10, 'x');
    while (sent < kHundredMiB && c.send(chunk)) sent += chunk.size();
  });
  const Timed t = timed_fetch(server.url(), posix::FetchLimits{});
  EXPECT_EQ(t.body.size(), posix::FetchLimits{}.max_body);
  EXPECT_LE(t.body.capacity(), 2 * posix::FetchLimits{}.max_body);
  EXPECT_LT(sent.load(), kHundredMiB / 4);  // the transfer stopped; it was not read to its end
}

TEST(Fetch, ARefusedConnectionYieldsNothing) {
  int port = 0;
  {
    Server closed(nullptr);
    port = closed.port();
  }  // nothing listens there any more
  const Timed t = timed_fetch("http://127.0.0.1:" + std::to_string(port) + "/QTVAR/data.xml");
  EXPECT_EQ(t.body, "");
  EXPECT_LE(t.took, 1000ms);
}

TEST(Fetch, AnUnresolvableHostYieldsNothing) {
  const Timed t = timed_fetch("http://update.pelorin.invalid/QTVAR/data.xml");
  EXPECT_EQ(t.body, "");
  EXPECT_LE(t.took, kTestLimits.connect + 1500ms);
}

// A listener whose queue is full lets no connection complete: the connect limit cuts it.
TEST(Fetch, AConnectionThatNeverCompletesIsCutByTheConnectLimit) {
  Server full(nullptr, 0);
  const int filler = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(full.port()));
  ASSERT_EQ(connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const posix::FetchLimits limits{1000ms, 10s, 20s, 1 << 20};
  const Timed t = timed_fetch(full.url(), limits);
  close(filler);
  EXPECT_EQ(t.body, "");
  EXPECT_GE(t.took, 900ms);
  EXPECT_LE(t.took, 4000ms);
}

TEST(Fetch, OnlyPlainHttpIsFetched) {
  Server server([](Connection& c, const std::string&) { c.send(response("200 OK", kManifest)); });
  const std::string port = std::to_string(server.port());
  EXPECT_EQ(posix::fetch_url("file:///etc/hostname", kTestLimits), "");
  EXPECT_EQ(posix::fetch_url("ftp://127.0.0.1:" + port + "/", kTestLimits), "");
  EXPECT_EQ(posix::fetch_url("", kTestLimits), "");
}

}  // namespace
}  // namespace pelorin
