// Pattern code: the byte code that a compiled matching expression becomes, and the owner of one
// compiled expression.
//
// The code is plain data shared read-only by every connection thread once compiled: a sequence
// of elements closed by OP_END, lengths 16-bit big-endian, OP_NUMBER bounds little-endian. A
// PatternCode owns one heap block of that code together with what the compiler learned about
// it: the complexity level (which matcher suffices) and a prefilter (the bytes a match can
// begin with, and a literal prefix) that lets callers rule out a start position without running
// the interpreter. The prefilter never changes a result; it only says "this attempt would fail".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kw {

// Opcodes. Each line is the element's whole contract; the matchers give the exact actions.
inline constexpr uint8_t OP_END = 0x00;         // end of expression, group content, branch, set
inline constexpr uint8_t OP_REPEAT = 0x01;      // +; 2-byte distance back to the repeated item
inline constexpr uint8_t OP_ALT = 0x02;         // 2-byte length L, branch (L bytes), OP_END
inline constexpr uint8_t OP_AND = 0x03;         // &: both sides match from the same start
inline constexpr uint8_t OP_STAR = 0x04;        // *: shortest run that lets the rest match
inline constexpr uint8_t OP_CLASS = 0x05;       // 2-byte length L, [OP_NOT] members, OP_END
inline constexpr uint8_t OP_ANY = 0x06;         // ?: one byte except NUL
inline constexpr uint8_t OP_NOT = 0x07;         // negation, right after a CLASS/GROUP length
inline constexpr uint8_t OP_NUMBER = 0x08;      // two int32 bounds, least significant byte first
inline constexpr uint8_t OP_VAR = 0x0B;         // 1 byte d: like *, the text goes to variable d
inline constexpr uint8_t OP_RANGE = 0x0C;       // inside a set: the members around it are a range
inline constexpr uint8_t OP_SPACE1 = 0x0E;      // \s: one or more whitespace bytes
inline constexpr uint8_t OP_WORD = 0x0F;        // \w: bytes above 32 other than '>'
inline constexpr uint8_t OP_EQUALS = 0x10;      // =: blanks, '=', blanks
inline constexpr uint8_t OP_OPENQUOTE = 0x11;   // ": a double or single quote, remembered
inline constexpr uint8_t OP_GROUP = 0x12;       // 2-byte length L, [OP_NOT] content, OP_END
inline constexpr uint8_t OP_CLOSEQUOTE = 0x13;  // ': the remembered quote, not escaped
inline constexpr uint8_t OP_SPACE = 0x20;       // a blank run: zero or more whitespace bytes
// Every other byte (tab, line feed, carriage return, 0x14-0x1F, 0x21 and up) is a literal.

inline constexpr int kMaxPatternCode = 4096;  // bytes of code, OP_END included
inline constexpr int kMaxOpenFields = 200;    // open groups and alternatives, exclusive
inline constexpr int kVariableCount = 10;

// Complexity levels: level 2 or less runs on the simple matcher.
inline constexpr int kLevelEmpty = 0;
inline constexpr int kLevelLiteral = 1;
inline constexpr int kLevelSimple = 2;
inline constexpr int kLevelFull = 3;

// True for the bytes that stand for themselves in a sequence of elements.
constexpr bool is_literal_op(uint8_t op) {
  return op == 0x09 || op == 0x0A || op == 0x0D || (op >= 0x14 && op != OP_SPACE);
}

// True for the lazy elements: "*" and the variables, which span as little as lets the rest match.
constexpr bool is_lazy_op(uint8_t op) { return op == OP_STAR || op == OP_VAR; }

// A-Z become a-z; every other byte stays. The compiler lower-cases what patterns name, the
// matchers the input they compare with it.
constexpr uint8_t lower_byte(uint8_t c) {
  return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c;
}

// A literal element compares bytes of 33 and up after lower-casing the input's A-Z.
constexpr bool literal_matches(uint8_t op, uint8_t input) {
  return (op >= 33 ? lower_byte(input) : input) == op;
}

// Whether c is one of the members of a set (the bytes between its length and its OP_END,
// after a leading OP_NOT): single bytes, and ranges written low, OP_RANGE, high.
constexpr bool class_contains(const uint8_t* members, int length, uint8_t c) {
  for (int i = 0; i < length;) {
    if (i + 2 < length && members[i + 1] == OP_RANGE) {
      if (c >= members[i] && c <= members[i + 2]) return true;
      i += 3;
    } else {
      if (c == members[i]) return true;
      ++i;
    }
  }
  return false;
}

constexpr uint16_t read_be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// Whether an input byte passes the OP_CLASS element whose length begins at pc (right after the
// opcode), a leading OP_NOT negating it. *next is set to the element after it.
constexpr bool class_element_passes(const uint8_t* pc, uint8_t input, const uint8_t** next) {
  int length = read_be16(pc);
  const uint8_t* members = pc + 2;
  *next = members + length + 1;
  const bool negated = length > 0 && members[0] == OP_NOT;
  if (negated) {
    ++members;
    --length;
  }
  return class_contains(members, length, lower_byte(input)) != negated;
}

inline int32_t read_le32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

// What must hold at a start position for a match to be possible at all.
struct MatchPrefilter {
  static constexpr int kMaxPrefixes = 8;
  static constexpr int kMaxPrefix = 16;
  // Any byte may begin a match (or the expression can succeed or store a variable before it
  // consumes one); when set, nothing below is used.
  bool any = true;
  uint64_t first[4] = {};  // bit c: input byte c can be consumed first
  // Every match begins with one of these runs of literal elements (as compiled), after a run
  // of whitespace when skip_blanks is set. prefix_count 0: no such runs are known.
  bool skip_blanks = false;
  uint8_t prefix_count = 0;
  uint8_t prefix_length[kMaxPrefixes] = {};
  uint8_t prefix[kMaxPrefixes][kMaxPrefix] = {};

  // When second_known: bit c of second is set when input byte c can follow the first byte of a
  // match (a match always consumes at least two bytes then).
  bool second_known = false;
  uint64_t second[4] = {};

  bool can_start_with(uint8_t c) const { return (first[c >> 6] >> (c & 63) & 1) != 0; }
  bool can_continue_with(uint8_t c) const {
    return !second_known || (second[c >> 6] >> (c & 63) & 1) != 0;
  }
  void allow(uint8_t c) { first[c >> 6] |= uint64_t{1} << (c & 63); }
  void allow_second(uint8_t c) { second[c >> 6] |= uint64_t{1} << (c & 63); }
};

class PatternCode {
 public:
  PatternCode() = default;
  PatternCode(std::unique_ptr<uint8_t[]> code, uint16_t size, uint8_t level,
              const MatchPrefilter& prefilter)
      : code_(std::move(code)), size_(size), level_(level), prefilter_(prefilter) {}
  PatternCode(PatternCode&&) noexcept = default;
  PatternCode& operator=(PatternCode&&) noexcept = default;
  PatternCode(const PatternCode&) = delete;
  PatternCode& operator=(const PatternCode&) = delete;

  explicit operator bool() const { return code_ != nullptr; }
  // The code, or none when nothing compiled.
  const uint8_t* code() const { return code_.get(); }
  // Bytes of code including the closing OP_END.
  size_t size() const { return size_; }
  int level() const { return level_; }
  const MatchPrefilter& prefilter() const { return prefilter_; }
  void reset() { *this = PatternCode(); }

 private:
  std::unique_ptr<uint8_t[]> code_;  // code_[0, size_) is the code; code_[size_ - 1] is OP_END
  uint16_t size_ = 0;
  uint8_t level_ = 0;
  MatchPrefilter prefilter_;
};

}  // namespace kw
