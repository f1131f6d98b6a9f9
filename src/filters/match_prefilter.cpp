// First bytes and literal prefixes of compiled code; see match_prefilter.h.
#include "filters/match_prefilter.h"

#include <cstring>

namespace kw {
namespace {

struct FirstBytes {
  std::bitset<256> bytes;
  bool any = false;  // unconstrained: stop looking
};

void add_range(FirstBytes* w, int low, int high) {
  for (int c = low; c <= high; ++c) w->bytes[static_cast<size_t>(c)] = true;
}

void add_literal(FirstBytes* w, uint8_t op) {
  for (int c = 0; c < 256; ++c) {
    if (literal_matches(op, static_cast<uint8_t>(c))) w->bytes[static_cast<size_t>(c)] = true;
  }
}

bool class_contains(const uint8_t* members, int length, uint8_t c) {
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

void add_class(FirstBytes* w, const uint8_t* pc) {
  int length = read_be16(pc);
  const uint8_t* members = pc + 2;
  bool negated = length > 0 && members[0] == OP_NOT;
  if (negated) {
    ++members;
    --length;
  }
  for (int c = 0; c < 256; ++c) {
    uint8_t lowered =
        (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : static_cast<uint8_t>(c);
    if (class_contains(members, length, lowered) != negated)
      w->bytes[static_cast<size_t>(c)] = true;
  }
}

// Walks the elements of one level from pc, adding every byte that can be consumed first.
// Returns true when some path reaches the end of the level (its OP_END or a repeat mark)
// without consuming a byte.
bool walk(const uint8_t* pc, FirstBytes* w) {
  bool passes = false;
  for (;;) {
    if (w->any) return false;
    const uint8_t op = *pc++;
    switch (op) {
      case OP_END:
      case OP_REPEAT:
        // The item before a repeat has matched once already; the repeat starts where it ended.
        if (op == OP_REPEAT) {
          pc += 2;
          continue;
        }
        return true;
      case OP_ALT: {
        const uint8_t* after = pc + 2 + read_be16(pc) + 1;
        if (walk(pc + 2, w)) passes = true;
        pc = after;
        continue;
      }
      case OP_STAR:
      case OP_VAR:
      case OP_AND:
        w->any = true;
        return false;
      case OP_ANY:
        add_range(w, 1, 255);
        return passes;
      case OP_SPACE:
        add_range(w, 0, 32);
        continue;
      case OP_SPACE1:
        add_range(w, 0, 32);
        return passes;
      case OP_EQUALS:
        add_range(w, 0, 32);
        w->bytes['='] = true;
        return passes;
      case OP_WORD:
        // Possibly empty, so what follows may consume the first byte instead.
        add_range(w, 33, '>' - 1);
        add_range(w, '>' + 1, 255);
        continue;
      case OP_CLASS:
        add_class(w, pc);
        return passes;
      case OP_NUMBER:
        add_range(w, '0', '9');
        w->bytes['"'] = true;
        return passes;
      case OP_OPENQUOTE:
      case OP_CLOSEQUOTE:
        w->bytes['"'] = true;
        w->bytes['\''] = true;
        return passes;
      case OP_GROUP: {
        const uint8_t* content = pc + 2;
        const uint8_t* after = content + read_be16(pc) + 1;
        if (*content == OP_NOT) {
          w->any = true;
          return false;
        }
        if (!walk(content, w)) return passes;
        // The content can end without consuming: a store behind it happens before any byte
        // is consumed, otherwise the group's continuation may consume first.
        if (*after == OP_VAR) {
          w->any = true;
          return false;
        }
        pc = after;
        continue;
      }
      default:
        add_literal(w, op);
        return passes;
    }
  }
}

}  // namespace

MatchPrefilter compute_prefilter(const uint8_t* code) {
  MatchPrefilter result;
  FirstBytes w;
  const bool empty_possible = walk(code, &w);
  if (w.any || empty_possible) return result;
  result.any = false;
  result.first = w.bytes;
  while (result.prefix_length < MatchPrefilter::kMaxPrefix &&
         is_literal_op(code[result.prefix_length])) {
    result.prefix[result.prefix_length] = code[result.prefix_length];
    ++result.prefix_length;
  }
  return result;
}

void StartTable::clear() {
  std::memset(masks_, 0, sizeof masks_);
  every_position_ = false;
  single_byte_ = -1;
}

void StartTable::add(int index, const PatternCode& code) {
  if (index >= kMaxFilters) {
    every_position_ = true;
    return;
  }
  if (!code) return;
  const uint64_t bit = uint64_t{1} << index;
  const MatchPrefilter& f = code.prefilter();
  int count = 0;
  for (int c = 0; c < 256; ++c) {
    if (f.any || f.first[static_cast<size_t>(c)]) masks_[c] |= bit;
    if (masks_[c] != 0) {
      ++count;
      single_byte_ = c;
    }
  }
  if (count != 1) single_byte_ = -1;
}

const char* StartTable::next_candidate(const char* from, const char* to) const {
  if (every_position_ || from >= to) return from;
  if (single_byte_ >= 0) {
    const void* hit = std::memchr(from, single_byte_, static_cast<size_t>(to - from));
    return hit ? static_cast<const char*>(hit) : to;
  }
  while (from < to && masks_[static_cast<uint8_t>(*from)] == 0) ++from;
  return from;
}

}  // namespace kw
