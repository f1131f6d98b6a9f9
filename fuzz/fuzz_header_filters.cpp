// Header filters on a parsed header block: the input is a direction byte, up to six filters
// (a flags byte, then Key, Match and Replace texts, each up to a NUL), the request URL the
// replacements quote, a run of piece sizes, and the header block. After the filters every field
// still has a name and a value that fits its storage, and lookups walk the list safely.
#include <cstdlib>
#include <cstring>

#include "filters/header_filters.h"
#include "fuzz_peers.h"
#include "fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  kw::fuzz::FuzzReader in(data, size);
  const uint32_t direction = (in.byte() & 1) != 0 ? kw::HEADER_IN : kw::HEADER_OUT;
  const int count = in.byte() % 7;
  for (int i = 0; i < count; ++i) {
    const uint16_t flags = in.byte() & (kw::HEADER_IN | kw::HEADER_OUT);
    const std::string key = in.text();
    const std::string match = in.text();
    const std::string replace = in.text();
    kw::build_header_filter(nullptr, flags, kw::fuzz::given(key), kw::fuzz::given(match),
                            kw::fuzz::given(replace));
  }
  const std::string url = in.text();
  const std::string sizes = in.text();
  const std::string block = in.rest();

  kw::fuzz::CappedSink sink(0);
  kw::fuzz::FuzzBrowser browser(url, sink);
  kw::fuzz::FedMessage message(kw::fuzz::cut_by(block, sizes));
  kw::parse_headers(&message.msg);
  kw::apply_header_filters(&message.msg, browser.msg(), direction);
  for (kw::HeaderField* h = message.msg.headers; h != nullptr; h = h->next) {
    if (h->name == nullptr || h->value == nullptr) continue;  // a field the parser gave up on
    const size_t length = std::strlen(h->value);
    if (length >= kw::kHeaderValueSize) std::abort();
    if (h->value_capacity < static_cast<int>(length) + 1) std::abort();
    if (kw::find_header(&message.msg, h->name) == nullptr) std::abort();
  }
  kw::free_header_filters();
  return 0;
}
