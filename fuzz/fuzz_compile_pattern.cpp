// libFuzzer: any expression text either compiles to structurally sound code whose level and
// shape match the matcher choice, or fails; nothing is read past the text.
#include <cstdint>
#include <cstring>
#include <memory>

#include "code_checks.h"
#include "filters/matcher.h"
#include "filters/pattern_compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any read past the terminator is caught.
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';
  kw::MatchFunction choice = nullptr;
  kw::PatternCode code = kw::compile_pattern(text.get(), &choice);
  if (!code) {
    kw::fuzz::require(choice == nullptr);
    return 0;
  }
  kw::fuzz::check_pattern_code(code);
  const kw::MatchFunction expected = code.level() <= kw::kLevelSimple ? &kw::match_simple
                                     : kw::sequence_matcher_fits(code.code()) ? &kw::match_sequence
                                     : kw::chain_matcher_fits(code.code())    ? &kw::match_chain
                                                                              : &kw::match_full;
  kw::fuzz::require(choice == expected);
  return 0;
}
