// First bytes and literal prefixes of compiled code; see match_prefilter.h.
#include "filters/match_prefilter.h"

#include <bitset>
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

void add_class(FirstBytes* w, const uint8_t* pc) {
  int length = read_be16(pc);
  const uint8_t* members = pc + 2;
  bool negated = length > 0 && members[0] == OP_NOT;
  if (negated) {
    ++members;
    --length;
  }
  for (int c = 0; c < 256; ++c) {
    if (class_contains(members, length, lower_byte(static_cast<uint8_t>(c))) != negated) {
      w->bytes[static_cast<size_t>(c)] = true;
    }
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

// The text a match begins with: every path from the start is followed through alternatives
// and into groups (and out of them again) while it meets literal elements, and its run of
// literals is recorded where it meets anything else. A path stops before the end of a group
// that stores a variable, so a check of the runs never passes over a store.
class PrefixCollector {
 public:
  explicit PrefixCollector(MatchPrefilter* out) : out_(out) {}

  // The code from pc, whose enclosing groups continue as `continuation` says.
  struct Continuation {
    const uint8_t* after;
    const Continuation* outer;
  };

  void collect(const uint8_t* pc, const uint8_t* run, int length, const Continuation* cont) {
    uint8_t own[MatchPrefilter::kMaxPrefix];
    if (length > 0) std::memcpy(own, run, static_cast<size_t>(length));
    for (;;) {
      if (failed_) return;
      const uint8_t op = *pc;
      if (is_literal_op(op)) {
        if (length == MatchPrefilter::kMaxPrefix) return record(own, length);
        own[length++] = op;
        ++pc;
        continue;
      }
      switch (op) {
        case OP_END:
          if (cont == nullptr || *cont->after == OP_VAR) return record(own, length);
          pc = cont->after;
          cont = cont->outer;
          continue;
        case OP_ALT: {
          collect(pc + 3, own, length, cont);
          pc += 3 + read_be16(pc + 1) + 1;
          continue;
        }
        case OP_GROUP: {
          const uint8_t* content = pc + 3;
          if (*content == OP_NOT) return record(own, length);
          const Continuation inner{content + read_be16(pc + 1) + 1, cont};
          return collect(content, own, length, &inner);
        }
        default:
          return record(own, length);
      }
    }
  }

  bool failed() const { return failed_; }

 private:
  void record(const uint8_t* run, int length) {
    if (length == 0 || out_->prefix_count == MatchPrefilter::kMaxPrefixes) {
      failed_ = true;
      return;
    }
    const int k = out_->prefix_count++;
    std::memcpy(out_->prefix[k], run, static_cast<size_t>(length));
    out_->prefix_length[k] = static_cast<uint8_t>(length);
  }

  MatchPrefilter* out_;
  bool failed_ = false;
};

}  // namespace

MatchPrefilter compute_prefilter(const uint8_t* code) {
  MatchPrefilter result;
  FirstBytes w;
  const bool empty_possible = walk(code, &w);
  if (w.any || empty_possible) return result;
  result.any = false;
  for (int c = 0; c < 256; ++c) {
    if (w.bytes[static_cast<size_t>(c)]) result.allow(static_cast<uint8_t>(c));
  }
  // A leading blank run (or "\s", which also needs one blank first, as the first bytes say) is
  // greedy and never gives back: the runs start where it ends.
  const uint8_t* start = code;
  if (*start == OP_SPACE || *start == OP_SPACE1) {
    result.skip_blanks = true;
    ++start;
  }
  PrefixCollector collector(&result);
  collector.collect(start, nullptr, 0, nullptr);
  if (collector.failed()) {
    result.prefix_count = 0;
    result.skip_blanks = false;
    return result;
  }
  // The byte after the first: the second byte of a run, or after whitespace, more whitespace or
  // the first byte of a run.
  result.second_known = true;
  for (int k = 0; k < result.prefix_count; ++k) {
    if (result.prefix_length[k] < 2) {
      result.second_known = false;
      break;
    }
    for (int c = 0; c < 256; ++c) {
      const uint8_t byte = static_cast<uint8_t>(c);
      const bool second = literal_matches(result.prefix[k][1], byte);
      const bool after_blank =
          result.skip_blanks && (byte <= 32 || literal_matches(result.prefix[k][0], byte));
      if (second || after_blank) result.allow_second(byte);
    }
  }
  if (!result.second_known) std::memset(result.second, 0, sizeof result.second);
  return result;
}

}  // namespace kw
