// The replacement text compiler; see replacement_code.h.
//
// Text is copied into literal segments; "\" escapes give line feed, carriage return and tab, or
// a code segment of their own ("\0"-"\9", "\u", "\h", "\p", "\q", "\a", "\d"). Raw CR and LF are
// dropped, and so are raw bytes equal to a code byte, which would read as a code.
#include "filters/replacement_code.h"

#include <cstring>
#include <new>

namespace kw {
namespace {

class ReplacementCompiler {
 public:
  // Appends one literal byte; false when the code is full.
  bool literal(uint8_t c) {
    const int need = open_literal_ < 0 ? 3 : 1;
    if (!fits(need)) return false;
    if (open_literal_ < 0) {
      open_literal_ = size_;
      size_ += 2;
    }
    out_[size_++] = c;
    return true;
  }
  // Appends a code segment (with a variable number for RC_VAR); false when the code is full.
  bool code(uint8_t rc, uint8_t variable) {
    close_literal();
    const int length = rc == RC_VAR ? 2 : 1;
    if (!fits(2 + length)) return false;
    out_[size_++] = 0;
    out_[size_++] = static_cast<uint8_t>(length);
    out_[size_++] = rc;
    if (rc == RC_VAR) out_[size_++] = variable;
    return true;
  }
  ReplacementCode finish() {
    close_literal();
    out_[size_++] = 0;
    out_[size_++] = 0;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[static_cast<size_t>(size_)]);
    if (!block) return {};
    std::memcpy(block.get(), out_, static_cast<size_t>(size_));
    return ReplacementCode(std::move(block), static_cast<uint16_t>(size_));
  }

 private:
  // Room for `bytes` more while the end segment still fits.
  bool fits(int bytes) const { return size_ + bytes + 2 <= kMaxReplacementCode; }
  void close_literal() {
    if (open_literal_ < 0) return;
    const int length = size_ - open_literal_ - 2;
    out_[open_literal_] = static_cast<uint8_t>(length >> 8);
    out_[open_literal_ + 1] = static_cast<uint8_t>(length);
    open_literal_ = -1;
  }

  uint8_t out_[kMaxReplacementCode];  // out_[0, size_) is the code so far
  int size_ = 0;
  int open_literal_ = -1;  // offset of the length field of the literal run being filled, or -1
};

}  // namespace

ReplacementCode compile_replacement(const char* text) {
  if (text == nullptr) return {};
  ReplacementCompiler compiler;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(text);
  for (bool room = true; room && *s != 0;) {
    uint8_t c = *s++;
    if (c == '\r' || c == '\n') continue;
    if (c == '\\') {
      if (*s == 0) break;
      c = *s++;
      uint8_t rc = 0;
      switch (c) {
        case 'n':
          c = '\n';
          break;
        case 'r':
          c = '\r';
          break;
        case 't':
          c = '\t';
          break;
        case 'u':
          rc = RC_URL;
          break;
        case 'h':
          rc = RC_HOST;
          break;
        case 'p':
          rc = RC_PATH;
          break;
        case 'q':
          rc = RC_QUERY;
          break;
        case 'a':
          rc = RC_FRAGMENT;
          break;
        case 'd':
          rc = RC_DIR;
          break;
        default:
          if (c >= '0' && c <= '9') rc = RC_VAR;
          break;
      }
      if (rc != 0) {
        room = compiler.code(rc, static_cast<uint8_t>(c - '0'));
        continue;
      }
    }
    if (is_replacement_code_byte(c)) continue;
    room = compiler.literal(c);
  }
  return compiler.finish();
}

}  // namespace kw
