// The matching-expression compiler; see pattern_compiler.h and pattern_code.h.
//
// One pass over the source with a stack of open length fields (groups and pending
// alternatives). An alternation A|B|C compiles to OP_ALT(A) OP_ALT(B) C: at the start of every
// alternative a pre-scan looks ahead for a "|" at the same level, and only then opens an OP_ALT
// whose length the "|" fills in. Everything is built in a fixed buffer on the stack and copied
// into a heap block of exactly the code's size at the end.
#include "filters/pattern_compiler.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "filters/match_prefilter.h"
#include "filters/matcher.h"

namespace kw {
namespace {

enum class Outcome { kOk, kSyntax, kBufferFull, kStackFull };

// Source bytes that cannot stand for themselves in the code because they are opcodes. Tab,
// line feed and carriage return are literals; space is never emitted as a literal.
bool is_opcode_byte(uint8_t c) {
  return (c >= 0x01 && c <= 0x08) || c == 0x0B || c == 0x0C || (c >= 0x0E && c <= 0x13);
}

// Inside a set only OP_RANGE and a leading OP_NOT have a meaning of their own.
bool is_set_opcode_byte(uint8_t c) { return c == OP_RANGE || c == OP_NOT; }

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

// Looks from s for a "|" that separates alternatives at the current level: nested groups and
// sets are passed over, a ")" of the current level or the end of the text ends the search.
bool alternative_follows(const uint8_t* s) {
  int depth = 0;
  for (;;) {
    switch (*s++) {
      case 0:
        return false;
      case '(':
        ++depth;
        break;
      case ')':
        if (depth == 0) return false;
        --depth;
        break;
      case '[':
        for (;;) {
          uint8_t c = *s++;
          if (c == 0) return false;
          if (c == ']') break;
          if (c == '\\') {
            if (*s == 0) return false;
            ++s;
          }
        }
        break;
      case '\\':
        if (*s == 0) return false;
        ++s;
        break;
      case '|':
        if (depth == 0) return true;
        break;
      default:
        break;
    }
  }
}

class Compiler {
 public:
  explicit Compiler(const uint8_t* source) : s_(source) {}

  Outcome run();
  const uint8_t* code() const { return out_; }
  int size() const { return size_; }
  int level() const { return level_; }

 private:
  bool emit(uint8_t byte) {
    if (size_ >= kMaxPatternCode) return false;
    out_[size_++] = byte;
    return true;
  }
  bool room_for(int bytes) const { return size_ + bytes <= kMaxPatternCode; }
  void raise_level(int level) {
    if (level > level_) level_ = level;
  }
  // Opens an element with a 2-byte length field that a later close fills in.
  Outcome open_field(uint8_t op);
  // Writes the number of bytes emitted after the top field into it and emits OP_END; the
  // result is the offset of the opcode before the field.
  Outcome close_field(int* element_start);
  Outcome element();
  Outcome escaped();
  Outcome number();
  Outcome set();
  void shorten_set(int from);

  const uint8_t* s_;              // next source byte; the source ends with a NUL
  uint8_t out_[kMaxPatternCode];  // out_[0, size_) is the code so far
  int size_ = 0;
  int level_ = kLevelEmpty;
  int fields_[kMaxOpenFields + 2];  // offsets of open length fields; an element opens two at most
  int depth_ = 0;
  bool at_alternative_start_ = true;
  int previous_item_ = -1;  // offset of the element a "+" would repeat, or -1
};

Outcome Compiler::run() {
  while (*s_ != 0) {
    if (size_ >= kMaxPatternCode) return Outcome::kBufferFull;
    if (at_alternative_start_) {
      if (alternative_follows(s_)) {
        Outcome o = open_field(OP_ALT);
        if (o != Outcome::kOk) return o;
      }
      at_alternative_start_ = false;
      previous_item_ = -1;
    }
    Outcome o = element();
    if (o != Outcome::kOk) return o;
    if (depth_ >= kMaxOpenFields) return Outcome::kStackFull;
  }
  if (depth_ > 0) return Outcome::kSyntax;
  return emit(OP_END) ? Outcome::kOk : Outcome::kBufferFull;
}

Outcome Compiler::open_field(uint8_t op) {
  if (!room_for(3)) return Outcome::kBufferFull;
  out_[size_] = op;
  fields_[depth_++] = size_ + 1;
  size_ += 3;
  return Outcome::kOk;
}

Outcome Compiler::close_field(int* element_start) {
  if (depth_ == 0) return Outcome::kSyntax;
  if (!room_for(1)) return Outcome::kBufferFull;
  const int field = fields_[--depth_];
  const int length = size_ - (field + 2);
  out_[field] = static_cast<uint8_t>(length >> 8);
  out_[field + 1] = static_cast<uint8_t>(length);
  emit(OP_END);
  *element_start = field - 1;
  return Outcome::kOk;
}

Outcome Compiler::element() {
  const uint8_t c = *s_++;
  const int start = size_;
  switch (c) {
    case '\r':
    case '\n':
      previous_item_ = -1;
      return Outcome::kOk;
    case ' ':
    case '\t':
      while (*s_ == ' ' || *s_ == '\t') ++s_;
      raise_level(kLevelSimple);
      if (!emit(OP_SPACE)) return Outcome::kBufferFull;
      previous_item_ = start;
      return Outcome::kOk;
    case '*':
      raise_level(kLevelSimple);
      previous_item_ = -1;
      return emit(OP_STAR) ? Outcome::kOk : Outcome::kBufferFull;
    case '?':
      raise_level(kLevelSimple);
      previous_item_ = start;
      return emit(OP_ANY) ? Outcome::kOk : Outcome::kBufferFull;
    case '+':
      raise_level(kLevelFull);
      if (previous_item_ >= 0) {
        if (!room_for(3)) return Outcome::kBufferFull;
        const int distance = start - previous_item_;
        emit(OP_REPEAT);
        emit(static_cast<uint8_t>(distance >> 8));
        emit(static_cast<uint8_t>(distance));
      }
      previous_item_ = -1;
      return Outcome::kOk;
    case '\\':
      return escaped();
    case '=':
    case '"':
    case '\'':
      raise_level(kLevelFull);
      previous_item_ = start;
      return emit(c == '='   ? OP_EQUALS
                  : c == '"' ? OP_OPENQUOTE
                             : OP_CLOSEQUOTE)
                 ? Outcome::kOk
                 : Outcome::kBufferFull;
    case '&':
      raise_level(kLevelFull);
      previous_item_ = -1;
      return emit(OP_AND) ? Outcome::kOk : Outcome::kBufferFull;
    case '[':
      raise_level(kLevelFull);
      previous_item_ = start;
      if (*s_ == '#') {
        ++s_;
        return number();
      }
      return set();
    case '(': {
      raise_level(kLevelFull);
      Outcome o = open_field(OP_GROUP);
      if (o != Outcome::kOk) return o;
      if (*s_ == '^') {
        ++s_;
        if (!emit(OP_NOT)) return Outcome::kBufferFull;
      }
      at_alternative_start_ = true;
      return Outcome::kOk;
    }
    case ')': {
      raise_level(kLevelFull);
      int group = 0;
      Outcome o = close_field(&group);
      if (o != Outcome::kOk) return o;
      previous_item_ = group;
      if (s_[0] == '\\' && is_digit(s_[1])) {
        if (!room_for(2)) return Outcome::kBufferFull;
        emit(OP_VAR);
        emit(static_cast<uint8_t>(s_[1] - '0'));
        s_ += 2;
      }
      return Outcome::kOk;
    }
    case '|': {
      raise_level(kLevelFull);
      int unused = 0;
      Outcome o = close_field(&unused);
      if (o != Outcome::kOk) return o;
      at_alternative_start_ = true;
      return Outcome::kOk;
    }
    default:
      if (is_opcode_byte(c)) return Outcome::kSyntax;
      raise_level(kLevelLiteral);
      previous_item_ = start;
      return emit(lower_byte(c)) ? Outcome::kOk : Outcome::kBufferFull;
  }
}

// After a "\". A "\" that ends the text is a literal backslash. Escaped letters are lower-cased
// like every other letter, so that they match the lower-cased input.
Outcome Compiler::escaped() {
  const int start = size_;
  uint8_t c = *s_;
  if (c == 0) {
    c = '\\';
  } else {
    ++s_;
  }
  if (is_digit(c)) {
    raise_level(kLevelFull);
    previous_item_ = -1;
    if (!room_for(2)) return Outcome::kBufferFull;
    emit(OP_VAR);
    emit(static_cast<uint8_t>(c - '0'));
    return Outcome::kOk;
  }
  uint8_t op;
  switch (c) {
    case 'n':
      op = '\n';
      raise_level(kLevelLiteral);
      break;
    case 'r':
      op = '\r';
      raise_level(kLevelLiteral);
      break;
    case 't':
      op = '\t';
      raise_level(kLevelLiteral);
      break;
    case 's':
      op = OP_SPACE1;
      raise_level(kLevelSimple);
      break;
    case 'w':
      op = OP_WORD;
      raise_level(kLevelFull);
      break;
    default:
      if (is_opcode_byte(c)) return Outcome::kSyntax;
      op = lower_byte(c);
      raise_level(kLevelLiteral);
      break;
  }
  previous_item_ = start;
  return emit(op) ? Outcome::kOk : Outcome::kBufferFull;
}

// After "[#": blanks, low bound, blanks, optionally "-", blanks and "*" or the high bound;
// anything else up to the required "]" is ignored. Digits wrap like 32-bit arithmetic.
Outcome Compiler::number() {
  auto skip_blanks = [this] {
    while (*s_ == ' ' || *s_ == '\t') ++s_;
  };
  auto digits = [this] {
    uint32_t value = 0;
    while (is_digit(*s_)) value = value * 10 + static_cast<uint32_t>(*s_++ - '0');
    return value;
  };
  skip_blanks();
  const uint32_t low = digits();
  skip_blanks();
  uint32_t high = low;
  if (*s_ == '-') {
    ++s_;
    skip_blanks();
    if (*s_ == '*') {
      ++s_;
      high = 0x7FFFFFFF;
    } else {
      high = digits();
    }
  }
  while (*s_ != 0 && *s_ != ']') ++s_;
  if (*s_ == 0) return Outcome::kSyntax;
  ++s_;
  if (!room_for(9)) return Outcome::kBufferFull;
  emit(OP_NUMBER);
  for (uint32_t bound : {low, high}) {
    for (int shift = 0; shift < 32; shift += 8) emit(static_cast<uint8_t>(bound >> shift));
  }
  return Outcome::kOk;
}

// After "[": members up to "]". A "-" between two members makes a range; one right before the
// "]" (or right after a range) is a member itself.
Outcome Compiler::set() {
  if (!room_for(3)) return Outcome::kBufferFull;
  const int field = size_ + 1;
  emit(OP_CLASS);
  emit(0);
  emit(0);
  if (*s_ == '^') {
    ++s_;
    if (!emit(OP_NOT)) return Outcome::kBufferFull;
  }
  const int members = size_;
  bool after_range = false;
  for (;;) {
    uint8_t c = *s_;
    if (c == 0) return Outcome::kSyntax;
    ++s_;
    if (c == ']') break;
    if (c == '\\') {
      c = *s_;
      if (c == 0) return Outcome::kSyntax;
      ++s_;
      c = c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : lower_byte(c);
    } else {
      c = lower_byte(c);
    }
    if (is_set_opcode_byte(c)) return Outcome::kSyntax;
    if (!emit(c)) return Outcome::kBufferFull;
    const bool range_follows = !after_range && s_[0] == '-' && s_[1] != ']' && s_[1] != 0;
    after_range = false;
    if (range_follows) {
      ++s_;
      if (!emit(OP_RANGE)) return Outcome::kBufferFull;
      after_range = true;
    }
  }
  shorten_set(members);
  const int length = size_ - (field + 2);
  if (length == 0) return Outcome::kSyntax;
  out_[field] = static_cast<uint8_t>(length >> 8);
  out_[field + 1] = static_cast<uint8_t>(length);
  return emit(OP_END) ? Outcome::kOk : Outcome::kBufferFull;
}

// Matching a byte against a set reads its members one by one, and a step of the matchers counts
// one whatever the set's length: a set of repeated or overlapping members would make each step
// cost up to the whole code's length. The members out_[from, size_) are written again, when that
// is shorter, as the fewest members that hold the same bytes: in ascending order, a run of three
// or more bytes as a range. That is at most 192 bytes. A set that holds no byte stays as written.
void Compiler::shorten_set(int from) {
  const int length = size_ - from;
  bool held[256] = {};
  for (int c = 1; c < 256; ++c) {
    held[c] = class_contains(out_ + from, length, static_cast<uint8_t>(c));
  }
  uint8_t shortest[256];
  int n = 0;
  for (int c = 1; c < 256;) {
    if (!held[c]) {
      ++c;
      continue;
    }
    int last = c;
    while (last + 1 < 256 && held[last + 1]) ++last;
    const int run = last - c + 1;
    if (n + std::min(run, 3) >= length) return;
    if (run >= 3) {
      shortest[n++] = static_cast<uint8_t>(c);
      shortest[n++] = OP_RANGE;
      shortest[n++] = static_cast<uint8_t>(last);
    } else {
      for (int b = c; b <= last; ++b) shortest[n++] = static_cast<uint8_t>(b);
    }
    c = last + 1;
  }
  if (n == 0) return;
  std::memcpy(out_ + from, shortest, static_cast<size_t>(n));
  size_ = from + n;
}

}  // namespace

PatternCode compile_pattern(const char* text, MatchFunction* choice, int* result) {
  int ignored = kResultOk;
  int& outcome = result != nullptr ? *result : ignored;
  outcome = kResultBadPattern;
  if (text == nullptr) return {};
  Compiler compiler(reinterpret_cast<const uint8_t*>(text));
  switch (compiler.run()) {
    case Outcome::kOk:
      break;
    case Outcome::kSyntax:
      return {};
    case Outcome::kBufferFull:
      outcome = kResultPatternTooLong;
      return {};
    case Outcome::kStackFull:
      outcome = kResultPatternTooDeep;
      return {};
  }
  const int size = compiler.size();
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
  if (!block) {
    outcome = kResultNoMemory;
    return {};
  }
  std::memcpy(block.get(), compiler.code(), static_cast<size_t>(size));
  const MatchPrefilter prefilter = compute_prefilter(block.get());
  if (choice != nullptr) {
    *choice = compiler.level() <= kLevelSimple       ? match_simple
              : sequence_matcher_fits(block.get()) ? match_sequence
              : chain_matcher_fits(block.get())    ? match_chain
                                                   : match_full;
  }
  outcome = kResultOk;
  return PatternCode(std::move(block), static_cast<uint16_t>(size),
                     static_cast<uint8_t>(compiler.level()), prefilter);
}

}  // namespace kw
