// Soak run: kestrelwickd with the shipped default.cfg under a mixed load for a bounded time.
//
//   soak KESTRELWICKD CONFIG SECONDS
//
// An origin in this process serves small and large pages, pages the default filters rewrite,
// an animated GIF, slow replies, replies cut short and garbage. Several clients fetch them
// through the proxy at once, some hang up mid-reply, some send malformed requests; meanwhile
// the proxy reloads its configuration (SIGHUP) every 5 seconds and aborts every connection
// (SIGUSR2) every 47 seconds. Every reply that arrived whole is compared with what it must be: the
// origin's bytes, or for filtered pages the expected rewrite. At the end it prints requests by
// outcome and the proxy's descriptors, threads and resident memory at the start, the middle and
// after the load, and exits 1 on a crash, a corrupted reply, descriptors or threads left over
// (threads the connection pool keeps parked for reuse are counted apart, not as left over), or
// resident memory at the end more than 20% over the middle.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "loopback_server.h"

namespace {

using Clock = std::chrono::steady_clock;

// ---- the pages -------------------------------------------------------------------------------

// One block of a filtered page and what the default filters leave of it.
void filtered_block(int i, std::string* page, std::string* expected) {
  const std::string n = std::to_string(i);
  const std::string kept1 = "<p>Paragraph " + n + " with <b>bold</b> text.</p>\n";
  const std::string tracker =
      "<script src=\"https://www.google-analytics.com/analytics.js\"></script>";
  const std::string kept2 = "\n<script>var kept = " + n + ";</script>\n";
  const std::string frame = "<iframe src=\"https://ad.doubleclick.net/frame\"></iframe>";
  const std::string pixel = "<img src=\"/pixel.gif\" width=1 height=1>";
  const std::string kept3 = "\n<img src=\"/photo.jpg\" width=640 height=480>\n";
  const std::string blinking = "Blinking " + n;
  const std::string refresh = "<meta http-equiv=\"refresh\" content=\"30\">";
  *page += kept1 + tracker + kept2 + frame + pixel + kept3 + "<blink>" + blinking + "</blink>" +
           refresh + "\n";
  *expected += kept1 + kept2 + kept3 + blinking + "\n";
}

struct Pages {
  std::string small, large, filtered, filtered_expected, big_filtered, big_filtered_expected, gif;
};

Pages make_pages() {
  Pages p;
  for (int i = 0; i < 40; ++i) p.small += "line " + std::to_string(i) + " of a small plain page\n";
  std::mt19937 random(7);
  p.large.resize(2 << 20);
  for (char& c : p.large) c = static_cast<char>(random());
  const std::string head = "<html><head><title>soak</title></head><body>\n";
  const std::string tail = "</body></html>\n";
  p.filtered = p.filtered_expected = head;
  for (int i = 0; i < 50; ++i) filtered_block(i, &p.filtered, &p.filtered_expected);
  p.filtered += tail;
  p.filtered_expected += tail;
  p.big_filtered = p.big_filtered_expected = head;
  for (int i = 0; i < 1500; ++i) filtered_block(i, &p.big_filtered, &p.big_filtered_expected);
  p.big_filtered += tail;
  p.big_filtered_expected += tail;
  // A 1x1 GIF of two frames that loops forever.
  const unsigned char header[] = {'G',  'I', 'F', '8', '9', 'a', 1,   0,   1,  0,
                                  0x80, 0,   0,   0,   0,   0,   255, 255, 255};
  const unsigned char loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                'E',  '2',  '.',  '0', 3,   1,   0,   0,   0};
  const unsigned char frame[] = {0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x2C, 0, 0, 0,
                                 0,    1,    0, 1, 0,  0, 2, 2, 0x44, 1, 0};
  p.gif.append(reinterpret_cast<const char*>(header), sizeof header);
  p.gif.append(reinterpret_cast<const char*>(loop), sizeof loop);
  for (int i = 0; i < 2; ++i) p.gif.append(reinterpret_cast<const char*>(frame), sizeof frame);
  p.gif += ';';
  return p;
}

const Pages& pages() {
  static const Pages p = make_pages();
  return p;
}

// ---- sockets ---------------------------------------------------------------------------------

bool send_all(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void set_timeout(int fd, int seconds) {
  timeval tv{seconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

int connect_to(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  set_timeout(fd, 30);
  return fd;
}

uint16_t free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

// ---- the origin ------------------------------------------------------------------------------

std::string reply(const std::string& type, const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void serve(int fd) {
  set_timeout(fd, 30);
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  const size_t space = head.find(' ');
  const std::string path = space == std::string::npos
                               ? ""
                               : head.substr(space + 1, head.find(' ', space + 1) - space - 1);
  const Pages& p = pages();
  if (path == "/small") {
    send_all(fd, reply("text/plain", p.small));
  } else if (path == "/large") {
    send_all(fd, reply("application/octet-stream", p.large));
  } else if (path == "/filtered") {
    send_all(fd, reply("text/html", p.filtered));
  } else if (path == "/big-filtered") {
    send_all(fd, reply("text/html", p.big_filtered));
  } else if (path == "/gif") {
    send_all(fd, reply("image/gif", p.gif));
  } else if (path == "/slow") {
    const std::string r = reply("text/html", p.filtered);
    const size_t piece = r.size() / 10 + 1;
    for (size_t at = 0; at < r.size(); at += piece) {
      if (!send_all(fd, r.substr(at, piece))) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
  } else if (path == "/early-close") {
    const std::string r = reply("text/plain", p.small + p.small + p.small);
    send_all(fd, r.substr(0, r.size() / 2));
  } else if (path == "/garbage") {
    std::string junk(3000, '\0');
    std::mt19937 random(static_cast<unsigned>(fd));
    for (char& c : junk) c = static_cast<char>(random());
    send_all(fd, junk);
  }
  close(fd);
}

// ---- the proxy's figures ---------------------------------------------------------------------

struct Figures {
  int descriptors = 0;
  int threads = 0;
  int parked = 0;  // of the threads, those the connection pool keeps waiting for reuse
  long rss_kib = 0;
};

Figures measure(pid_t pid) {
  Figures f;
  const std::string dir = "/proc/" + std::to_string(pid);
  if (DIR* d = opendir((dir + "/fd").c_str())) {
    while (dirent* e = readdir(d)) f.descriptors += e->d_name[0] != '.' ? 1 : 0;
    closedir(d);
  }
  if (DIR* d = opendir((dir + "/task").c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::string name;
      std::getline(std::ifstream(dir + "/task/" + e->d_name + "/comm"), name);
      f.parked += name == "parked" ? 1 : 0;
    }
    closedir(d);
  }
  std::ifstream status(dir + "/status");
  std::string key;
  while (status >> key) {
    if (key == "Threads:") status >> f.threads;
    if (key == "VmRSS:") status >> f.rss_kib;
  }
  return f;
}

// ---- the clients -----------------------------------------------------------------------------

std::mutex outcomes_lock;
std::map<std::string, long> outcomes;  // guarded by outcomes_lock
std::atomic<long> requests{0};

void count(const std::string& kind) {
  std::lock_guard<std::mutex> guard(outcomes_lock);
  ++outcomes[kind];
}

struct Fetched {
  bool connected = false;
  bool timed_out = false;
  std::string status;  // the status line
  std::string body;
};

Fetched exchange(uint16_t proxy, const std::string& request, size_t read_at_most = SIZE_MAX) {
  Fetched f;
  const int fd = connect_to(proxy);
  if (fd < 0) return f;
  f.connected = true;
  std::string all;
  if (send_all(fd, request)) {
    char buffer[65536];
    while (all.size() < read_at_most) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) f.timed_out = true;
      if (n <= 0) break;
      all.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  const size_t head_end = all.find("\r\n\r\n");
  f.status = all.substr(0, all.find("\r\n"));
  if (head_end != std::string::npos) f.body = all.substr(head_end + 4);
  return f;
}

std::string get_request(uint16_t origin, const std::string& path) {
  return "GET http://127.0.0.1:" + std::to_string(origin) + path +
         " HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept-Encoding: gzip\r\n\r\n";
}

// Sorts a reply that should carry `expected`: whole, cut short (a prefix: aborts, reloads and
// origins that close early do that), or corrupted (anything else).
std::string judge(const Fetched& f, const std::string& expected, const char* what) {
  if (!f.connected) return "refused";
  if (f.timed_out) return "timeout";
  if (f.status.empty()) return "cut";
  if (f.status.compare(0, 12, "HTTP/1.0 200") != 0 &&
      f.status.compare(0, 12, "HTTP/1.1 200") != 0) {
    return "error page";
  }
  if (f.body == expected) return std::string("ok ") + what;
  if (f.body.size() < expected.size() && expected.compare(0, f.body.size(), f.body) == 0) {
    return "cut";
  }
  return std::string("CORRUPT ") + what;
}

std::string reference_gif;  // what the proxy makes of the GIF, fetched before the load

std::string one_request(uint16_t proxy, uint16_t origin, std::mt19937& random) {
  const Pages& p = pages();
  switch (random() % 12) {
    case 0:
    case 1:
      return judge(exchange(proxy, get_request(origin, "/small")), p.small, "small");
    case 2:
      return judge(exchange(proxy, get_request(origin, "/large")), p.large, "large");
    case 3:
    case 4:
      return judge(exchange(proxy, get_request(origin, "/filtered")), p.filtered_expected,
                   "filtered");
    case 5:
      return judge(exchange(proxy, get_request(origin, "/big-filtered")), p.big_filtered_expected,
                   "big filtered");
    case 6:
      return judge(exchange(proxy, get_request(origin, "/gif")), reference_gif, "gif");
    case 7:
      return judge(exchange(proxy, get_request(origin, "/slow")), p.filtered_expected, "slow");
    case 8: {
      const Fetched f = exchange(proxy, get_request(origin, "/early-close"));
      const std::string sorted = judge(f, p.small + p.small + p.small, "early close");
      return sorted == "cut" ? "ok early close (cut)" : sorted;
    }
    case 9: {
      const Fetched f = exchange(proxy, get_request(origin, "/garbage"));
      return !f.connected ? "refused" : f.timed_out ? "timeout" : "ok garbage origin";
    }
    case 10: {
      const Fetched f = exchange(proxy, get_request(origin, "/large"), 100000);
      return f.connected ? "ok client hung up" : "refused";
    }
    default: {
      static const char* const malformed[] = {
          "GARBAGE\r\n\r\n",
          "GET\r\n\r\n",
          "GET http://127.0.0.1:1 HTTP/9.9\r\n\r\n",
          "\r\n\r\n\r\n",
          "GET http:// HTTP/1.0\r\nHost:\r\n\r\n",
          "POST http://127.0.0.1/ HTTP/1.0\r\nContent-Length: -5\r\n\r\n"};
      std::string request = malformed[random() % 6];
      if (random() % 3 == 0) request = "GET /" + std::string(20000, 'x') + " HTTP/1.0\r\n\r\n";
      const Fetched f = exchange(proxy, request);
      return !f.connected ? "refused" : f.timed_out ? "timeout" : "ok malformed request";
    }
  }
}

bool alive(pid_t pid, int* status) { return waitpid(pid, status, WNOHANG) == 0; }

bool wait_listening(uint16_t port, int seconds) {
  const auto until = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < until) {
    const int fd = connect_to(port);
    if (fd >= 0) {
      close(fd);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// Threads other than the parked ones: those are kept on purpose, up to the pool's limit.
int working(const Figures& f) { return f.threads - f.parked; }

void print_figures(const char* when, const Figures& f) {
  std::printf("  %-7s descriptors %4d  threads %4d (parked %2d)  resident %7ld KiB\n", when,
              f.descriptors, f.threads, f.parked, f.rss_kib);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: soak KESTRELWICKD CONFIG SECONDS\n");
    return 2;
  }
  const int seconds = std::atoi(argv[3]);
  signal(SIGPIPE, SIG_IGN);
  pages();

  const uint16_t origin = free_port();
  std::thread([origin] { serve_loopback(origin, 128, "soak origin", serve); }).detach();
  const uint16_t proxy = free_port();
  // The log lines (every filter hit) would fill the disk; the status texts are kept.
  const std::string log_path = "/tmp/kw-soak-" + std::to_string(getpid()) + ".status";
  const pid_t pid = fork();
  if (pid == 0) {
    FILE* quiet = std::fopen("/dev/null", "w");
    FILE* status_texts = std::fopen(log_path.c_str(), "w");
    dup2(fileno(quiet), STDOUT_FILENO);
    dup2(fileno(status_texts), STDERR_FILENO);
    const std::string port = std::to_string(proxy);
    execl(argv[1], argv[1], "-p", port.c_str(), argv[2], static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (!wait_listening(proxy, 30)) {
    std::fprintf(stderr, "soak: the proxy does not listen (status texts in %s)\n",
                 log_path.c_str());
    kill(pid, SIGKILL);
    return 1;
  }

  // Before the load: the rewrite of the filtered page must be exactly the expected one, and
  // the frozen GIF is what every later GIF reply must equal.
  bool failed = false;
  const Fetched quiet = exchange(proxy, get_request(origin, "/filtered"));
  if (quiet.body != pages().filtered_expected) {
    std::printf("soak: the quiet rewrite of the filtered page is not the expected one:\n%s\n",
                quiet.body.c_str());
    failed = true;
  }
  reference_gif = exchange(proxy, get_request(origin, "/gif")).body;
  if (reference_gif.compare(0, 6, "GIF89a") != 0) {
    std::printf("soak: the GIF did not come through\n");
    failed = true;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));  // the quiet fetches' threads end
  const Figures start = measure(pid);

  std::printf("soak: %d s, proxy pid %d on port %u, origin on port %u, status texts in %s\n",
              seconds, pid, proxy, origin, log_path.c_str());
  // The sanitizer options change what the memory figures mean; the report says which applied.
  for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS"}) {
    if (const char* options = std::getenv(name)) std::printf("  %s=%s\n", name, options);
  }
  std::fflush(stdout);
  const auto begin = Clock::now();
  const auto deadline = begin + std::chrono::seconds(seconds);
  std::atomic<bool> running{true};
  std::vector<std::thread> clients;
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&, c] {
      std::mt19937 random(static_cast<unsigned>(c * 7919 + 1));
      while (running.load()) {
        const std::string outcome = one_request(proxy, origin, random);
        count(outcome);
        ++requests;
        // While a reload or an abort has the listener down, do not spin on refusals.
        if (outcome == "refused") std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  }
  int reloads = 0;
  int aborts = 0;
  Figures middle;
  bool measured_middle = false;
  int tick = 0;
  while (Clock::now() < deadline && alive(pid, &status)) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ++tick;
    if (tick % 5 == 0) {
      kill(pid, SIGHUP);
      ++reloads;
    }
    if (tick % 47 == 0) {
      kill(pid, SIGUSR2);
      ++aborts;
    }
    if (!measured_middle && Clock::now() >= begin + std::chrono::seconds(seconds / 2)) {
      middle = measure(pid);
      measured_middle = true;
    }
  }
  running.store(false);
  for (std::thread& t : clients) t.join();
  const bool crashed = !alive(pid, &status);

  // After the load the connection threads end and their descriptors close; give them time.
  Figures end = measure(pid);
  for (int i = 0; i < 40 && !crashed; ++i) {
    end = measure(pid);
    if (end.descriptors <= start.descriptors && working(end) <= working(start)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }

  std::printf("requests %ld, reloads %d, aborts %d\n", requests.load(), reloads, aborts);
  long corrupt = 0;
  for (const auto& [kind, n] : outcomes) {
    std::printf("  %-24s %8ld\n", kind.c_str(), n);
    if (kind.compare(0, 7, "CORRUPT") == 0) corrupt += n;
  }
  std::printf("proxy:\n");
  print_figures("start", start);
  print_figures("middle", middle);
  print_figures("end", end);
  if (crashed) {
    std::printf("FAIL: the proxy ended (status %d)\n", status);
    failed = true;
  } else {
    kill(pid, SIGTERM);
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::printf("FAIL: the proxy did not stop cleanly on SIGTERM (status %d)\n", status);
      failed = true;
    }
  }
  if (corrupt > 0) {
    std::printf("FAIL: %ld corrupted replies\n", corrupt);
    failed = true;
  }
  if (!crashed && (end.descriptors > start.descriptors || working(end) > working(start))) {
    std::printf("FAIL: descriptors or threads left over after the load\n");
    failed = true;
  }
  if (!crashed && end.rss_kib * 5 > middle.rss_kib * 6) {
    std::printf("FAIL: resident memory at the end more than 20%% over the middle\n");
    failed = true;
  }
  std::printf(failed ? "soak FAILED\n" : "soak passed\n");
  return failed ? 1 : 0;
}
