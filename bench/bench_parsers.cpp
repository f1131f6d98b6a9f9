// Parsing speed of the heads every request and reply goes through, in memory: the whole head is
// placed in the message's receive buffer, so no receive happens and only the parsers count.
//   RequestLine/N  a request line with an N-byte path: the scans walk every byte once.
//   Headers/N      a browser's header block padded to N headers: one heap node per header,
//                  trailing blanks trimmed, names copied; this is the per-request cost.
//   StatusLine     a typical reply status line.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "http/http_message.h"

namespace kw {
namespace {

struct BufferedMessage {
  explicit BufferedMessage(const std::string& head) {
    std::memcpy(msg.buffer, head.data(), head.size());
    msg.filled = static_cast<int32_t>(head.size());
    msg.pos = 0;
    msg.socket = &socket;
    msg.line = line;
    msg.request = &request;
    msg.status = &status;
  }
  HttpMessage msg{};
  RequestLine request{};
  StatusLine status{};
  char line[kLineBufferSize] = {};
  Socket socket = kNoSocket;
};

void RequestLine(benchmark::State& state) {
  std::string text = "GET http://www.example.com:8080/" + std::string(state.range(0), 'p') +
                     "?query=1 HTTP/1.1\r\n";
  BufferedMessage m(text);
  std::strcpy(m.line, text.c_str());
  for (auto _ : state) benchmark::DoNotOptimize(parse_request_line(&m.msg));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(RequestLine)->Arg(16)->Arg(256)->Arg(1900);

void Headers(benchmark::State& state) {
  std::string block =
      "Host: www.example.com\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64)\r\n"
      "Accept: text/html,application/xhtml+xml;q=0.9,*/*;q=0.8\r\n"
      "Accept-Language: en-GB,en;q=0.5\r\nAccept-Encoding: gzip, deflate\r\n"
      "Proxy-Connection: keep-alive\r\nCookie: session=0123456789abcdef\r\n";
  for (int i = 7; i < state.range(0); ++i) block += "X-Extra-" + std::to_string(i) + ": value\r\n";
  block += "\r\n";
  for (auto _ : state) {
    BufferedMessage m(block);
    benchmark::DoNotOptimize(parse_headers(&m.msg));
    free_headers(&m.msg);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block.size()));
}
BENCHMARK(Headers)->Arg(7)->Arg(20)->Arg(40);

void StatusLine(benchmark::State& state) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  for (auto _ : state) {
    BufferedMessage m(head);
    benchmark::DoNotOptimize(parse_status_line(&m.msg));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * head.size()));
}
BENCHMARK(StatusLine);

}  // namespace
}  // namespace kw

BENCHMARK_MAIN();
