// Header blocks from either peer: names stay within 39 characters and values within 2047, every
// capacity matches its value, and lookups and removals walk the list safely.
#include <cstdlib>
#include <cstring>

#include "fuzz_message.h"
#include "http/http_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kw::fuzz::FuzzMessage fed(data, size);
  int ok = kw::parse_headers(&fed.msg);
  for (kw::HeaderField* h = fed.msg.headers; h != nullptr; h = h->next) {
    if (h->name == nullptr) {
      if (ok) std::abort();
      continue;
    }
    if (std::strlen(h->name) > 39 || std::strlen(h->value) > 2047) std::abort();
    if (h->value_capacity != static_cast<int>(std::strlen(h->value)) + 1) std::abort();
  }
  if (ok && fed.msg.headers != nullptr) {
    const char* name = fed.msg.headers->name;
    char copy[40];
    std::strcpy(copy, name);
    if (kw::find_header(&fed.msg, copy) == nullptr) std::abort();
    if (kw::remove_header(&fed.msg, copy) != 1) std::abort();
  }
  return 0;
}
