// The page filter stream with a fuzzed filter list and body. The input is: a byte choosing the
// content type, up to six filters (a flags byte, a Limit byte, then Match, Replace, Bounds and
// Url texts, each up to a NUL), the request URL, a run of piece sizes, and the body. The body
// goes through the whole transfer twice, once in one piece and once in those pieces; the browser
// must receive the same bytes both times, except where a re-scanned replacement did not fit the
// other swap buffer (which depends on how far ahead the body was read). Lists that keep
// re-scanning their own output end at the browser's cap.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "filters/page_filter.h"
#include "filters/web_filter.h"
#include "fuzz_peers.h"
#include "fuzz_reader.h"
#include "report/frontend.h"

namespace {

constexpr size_t kBrowserCap = 1 << 18;

// Notes the swap buffer overflow; everything else is dropped.
class OverflowWatch : public kw::Frontend {
 public:
  int add_log_line(const char* text) override {
    if (std::strstr(text, "Swap Buffer Overflow") != nullptr) overflowed = true;
    return 1;
  }
  int log_category_on(int) override { return 0; }
  void set_log_status(const char*) override {}
  void set_status_text(const char*, kw::Rgb) override {}
  void show_application_error(const char*) override {}
  int ask_active_connections(kw::AskHandler) override { return 0; }

  std::atomic<bool> overflowed{false};
};

// Limits around the interesting sizes: tiny windows, the default, the largest.
uint32_t limit_of(uint8_t b) {
  if (b < 200) return b;
  if (b < 240) return kw::kDefaultFilterLimit;
  return kw::kMaxFilterLimit;
}

const char* match_of(uint8_t flags, const std::string& text) {
  switch ((flags >> 4) & 3) {
    case 1:
      return "<start>";
    case 2:
      return "<end>";
    default:
      return kw::fuzz::given(text);
  }
}

struct Transfer {
  int result;
  bool capped;
  std::string sent;
};

Transfer transfer(const std::string& url, const std::vector<std::string>& pieces,
                  const char* type) {
  kw::fuzz::CappedSink sink(kBrowserCap);
  kw::fuzz::FuzzBrowser browser(url, sink);
  kw::fuzz::FedMessage server(pieces);
  const int result = kw::filter_page_body(&server.msg, browser.msg(), type);
  return {result, sink.capped(), sink.received()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  static OverflowWatch watch;
  kw::install_frontend(&watch);
  watch.overflowed = false;

  kw::fuzz::FuzzReader in(data, size);
  const char* type = (in.byte() & 1) != 0 ? "text/html" : "image/png";
  const int count = in.byte() % 7;
  for (int i = 0; i < count; ++i) {
    const uint8_t flags = in.byte();
    const uint32_t limit = limit_of(in.byte());
    const std::string match = in.text();
    const std::string replace = in.text();
    const std::string bounds = in.text();
    const std::string url = in.text();
    // Most filters are active; the low bits choose Active and Multi.
    const uint16_t record_flags =
        static_cast<uint16_t>(((flags & 8) == 0 ? kw::FILTER_ACTIVE : 0) |
                              ((flags & 1) != 0 ? kw::FILTER_MULTI : 0));
    kw::build_web_filter(nullptr, record_flags, "fuzz", kw::fuzz::given(url),
                         match_of(flags, match), kw::fuzz::given(bounds), limit,
                         kw::fuzz::given(replace));
  }
  const std::string url = "http://" + in.text();
  const std::string sizes = in.text();
  const std::string body = in.rest();

  const Transfer whole = transfer(url, {body}, type);
  const Transfer cut = transfer(url, kw::fuzz::cut_by(body, sizes), type);
  if (!whole.capped && !cut.capped && !watch.overflowed) {
    if (whole.sent != cut.sent || whole.result != cut.result) std::abort();
  }
  kw::free_web_filters();
  return 0;
}
