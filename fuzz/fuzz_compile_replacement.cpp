// libFuzzer: any replacement text compiles to whole segments within 4096 bytes.
#include <cstdint>
#include <cstring>
#include <memory>

#include "code_checks.h"
#include "filters/replacement_code.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';
  kw::ReplacementCode code = kw::compile_replacement(text.get());
  kw::fuzz::require(static_cast<bool>(code));
  kw::fuzz::check_replacement_code(code);
  return 0;
}
