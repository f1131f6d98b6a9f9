// Takes a fuzzer input apart into the fields a target needs: single bytes, texts that end at a
// NUL (or at the end of the input), and the rest. Reading past the end yields zeros and empty
// texts, so every input makes a complete case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace kw::fuzz {

class FuzzReader {
 public:
  FuzzReader(const uint8_t* data, size_t size) : at_(data), end_(data + size) {}

  uint8_t byte() { return at_ < end_ ? *at_++ : 0; }

  std::string text() {
    const void* nul = std::memchr(at_, 0, static_cast<size_t>(end_ - at_));
    const uint8_t* stop = nul != nullptr ? static_cast<const uint8_t*>(nul) : end_;
    std::string out(reinterpret_cast<const char*>(at_), static_cast<size_t>(stop - at_));
    at_ = stop < end_ ? stop + 1 : end_;
    return out;
  }

  std::string rest() {
    std::string out(reinterpret_cast<const char*>(at_), static_cast<size_t>(end_ - at_));
    at_ = end_;
    return out;
  }

 private:
  const uint8_t* at_;
  const uint8_t* end_;
};

// A text as a filter field: an empty one stands for no text.
inline const char* given(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace kw::fuzz
