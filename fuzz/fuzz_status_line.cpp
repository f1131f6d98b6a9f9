// Replies as a server might send them: the status record stays within its 128 bytes, and code
// and reason are terminated texts inside it.
#include <cstdlib>
#include <cstring>

#include "fuzz_message.h"
#include "http/http_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kw::fuzz::FuzzMessage fed(data, size);
  if (kw::parse_status_line(&fed.msg) != 1) return 0;
  const kw::StatusLine& s = fed.status;
  const char* end = s.text + sizeof s.text;
  if (s.text_len > sizeof s.text) std::abort();
  if (s.code < s.text || s.code >= end || s.reason < s.text || s.reason >= end) std::abort();
  if (std::memchr(s.code, '\0', static_cast<size_t>(end - s.code)) == nullptr) std::abort();
  if (std::memchr(s.reason, '\0', static_cast<size_t>(end - s.reason)) == nullptr) std::abort();
  return 0;
}
