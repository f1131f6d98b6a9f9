// Replacement code: what replacement text compiles to, expanded by the page scan and the
// header filters after a match.
//
// A sequence of segments, each a 16-bit big-endian length and that many bytes, closed by a
// segment of length 0. A segment is a run of literal bytes or one code: a single RC_* byte, or
// RC_VAR and the variable number. Literal runs never begin with a code byte (the compiler drops
// raw control bytes of those values), so the first byte of a segment tells codes from text.
// Compiled once on the configuration or editor thread, then shared read-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kw {

inline constexpr uint8_t RC_DIR = 0x01;       // the program directory as a "file://" URL
inline constexpr uint8_t RC_HOST = 0x02;      // the request's host
inline constexpr uint8_t RC_PATH = 0x03;      // its path
inline constexpr uint8_t RC_FRAGMENT = 0x04;  // its fragment, from "#"
inline constexpr uint8_t RC_QUERY = 0x05;     // its query, from "?"
inline constexpr uint8_t RC_URL = 0x06;       // the whole URL
inline constexpr uint8_t RC_VAR = 0x0B;       // followed by d: variable d of the match

inline constexpr int kMaxReplacementCode = 4096;  // bytes, end segment included

constexpr bool is_replacement_code_byte(uint8_t c) {
  return (c >= RC_DIR && c <= RC_URL) || c == RC_VAR;
}

class ReplacementCode {
 public:
  ReplacementCode() = default;
  ReplacementCode(std::unique_ptr<uint8_t[]> code, uint16_t size)
      : code_(std::move(code)), size_(size) {}
  ReplacementCode(ReplacementCode&&) noexcept = default;
  ReplacementCode& operator=(ReplacementCode&&) noexcept = default;

  explicit operator bool() const { return code_ != nullptr; }
  const uint8_t* code() const { return code_.get(); }
  size_t size() const { return size_; }
  void reset() { *this = ReplacementCode(); }

 private:
  std::unique_ptr<uint8_t[]> code_;  // code_[0, size_): segments, the last one of length 0
  uint16_t size_ = 0;
};

// The code of `text`, or an empty ReplacementCode for no text or no memory. Text whose code
// would pass 4096 bytes is cut: the code holds the whole segments that fit, and a literal run
// that does not fit is shortened to the bytes that do.
ReplacementCode compile_replacement(const char* text);

}  // namespace kw
