// The full matcher: a recursive backtracking interpreter of pattern code; see matcher.h.
//
// One call of FullMatcher::run matches elements of one frame from a code position and a text
// position until the frame's end, and returns the end of the whole match (the rest of the
// expression is always matched inside the call that got there) or none. Each call has at most
// one pending alternative: an element failure resumes there from the frame's start. Lazy
// elements ("*", "\d", "\w" before a consuming element) try the rest of the expression at each
// position as a nested call; a group matches its content in a nested call whose end goes on with
// the code after the group in the parent frame. Frames live in the calls' stack frames.
#include <algorithm>

#include "filters/lazy_skip.h"
#include "filters/match_elements.h"
#include "filters/matcher.h"

namespace kw {
namespace {

bool is_word_byte(uint8_t c) { return c > 32 && c != '>'; }

class FullMatcher {
 public:
  explicit FullMatcher(MatchState* ctx) : ctx_(ctx) {}

  char* run(const uint8_t* pc, char* pos, MatchFrame* frame);
  bool exhausted() const { return exhausted_; }
  uint32_t steps() const { return steps_; }

 private:
  bool available(const char* p) { return byte_available(ctx_, p); }
  static uint8_t byte_at(const char* p) { return static_cast<uint8_t>(*p); }
  // Counts work against the step budget; false once it is spent. (A depth bound hit is never
  // followed by more steps: every call returns at once.)
  bool spend(uint32_t steps) {
    steps_ += steps;
    if (steps_ <= kMaxMatchSteps) [[likely]] return true;
    exhausted_ = true;
    return false;
  }
  char* skip_whitespace(char* pos) {
    char* end = skip_blanks(ctx_, pos);
    spend(static_cast<uint32_t>(end - pos));
    return end;
  }
  bool number_at(const uint8_t* bounds, char** pos) {
    uint32_t digits;
    const bool fits = read_number(ctx_, bounds, pos, &digits);
    spend(digits);
    return fits;
  }
  void pull_to_window_end() {
    while (byte_available(ctx_, ctx_->usable_end)) {
    }
  }
  void store(uint8_t d, char* start, const char* end) {
    if (d >= kVariableCount) return;
    ctx_->variable_start[d] = start;
    ctx_->variable_length[d] = static_cast<uint16_t>(end - start);
    ctx_->variables_set = 1;
  }
  static char* frame_end(const MatchFrame* frame, char* pos) {
    return (frame->furthest_end != nullptr && frame->furthest_end > pos) ? frame->furthest_end
                                                                         : pos;
  }
  // Matches `code` in `frame` (a parent frame) without letting the call change its open quote.
  char* run_in_parent(const uint8_t* code, char* pos, MatchFrame* parent) {
    const char saved = parent->open_quote;
    char* result = run(code, pos, parent);
    parent->open_quote = saved;
    return result;
  }

  // In a lazy loop whose rest begins at `rest` in `frame`: moves *p over the bytes present where
  // that rest fails at its first element (lazy_skip.h), and for \w over word bytes only,
  // charging what the nested calls there would have cost, failing at once where they would pass
  // the depth bound. False when a bound was hit.
  bool pass_over_mismatches(const uint8_t* rest, const MatchFrame* frame, bool word_bytes_only,
                            char** p) {
    const LazySkip e = lazy_skip_for(rest, frame->open_quote);
    const uint32_t steps = pass_over_lazy_mismatches(ctx_, e, rest, word_bytes_only, p);
    if (steps == 0) return true;
    if (depth_ + e.depth >= kMaxMatchDepth) {
      exhausted_ = true;
      return false;
    }
    return spend(steps);
  }

  MatchState* ctx_;
  int depth_ = 0;
  uint32_t steps_ = 0;
  bool exhausted_ = false;  // a bound was hit: the whole match fails, nothing is retried
};

class DepthGuard {
 public:
  explicit DepthGuard(int* depth) : depth_(depth) { ++*depth_; }
  ~DepthGuard() { --*depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int* depth_;
};

char* FullMatcher::run(const uint8_t* pc, char* pos, MatchFrame* frame) {
  if (exhausted_) return nullptr;
  if (depth_ >= kMaxMatchDepth) {
    exhausted_ = true;
    return nullptr;
  }
  DepthGuard guard(&depth_);
  const uint8_t* pending = nullptr;  // the alternative to resume on failure, or none
  for (;;) {
    {
      if (!spend(1)) return nullptr;
      const bool here = available(pos);
      if (!here && pos > ctx_->window_end) goto fail;
      const uint8_t op = *pc++;
      switch (op) {
        case OP_END: {
          if (frame->parent == nullptr) return frame_end(frame, pos);
          const uint8_t* next = frame->continuation;
          if (*next == OP_VAR) {
            store(next[1], frame->start, pos);
            next += 2;
          }
          if (char* result = run_in_parent(next, pos, frame->parent)) return result;
          goto fail;
        }
        case OP_REPEAT: {
          if (frame->parent == nullptr && frame->continuation != nullptr) {
            return frame_end(frame, pos);
          }
          const uint8_t* mark = pc - 1;
          const uint8_t* item = mark - read_be16(pc);
          pc += 2;
          while (available(pos)) {
            MatchFrame repeat{nullptr, pos, mark, nullptr, 0};
            char* end = run(item, pos, &repeat);
            if (exhausted_) return nullptr;
            if (end == nullptr || end <= pos) break;
            pos = end;
          }
          continue;
        }
        case OP_ALT:
          pending = pc + 2 + read_be16(pc) + 1;
          pc += 2;
          continue;
        case OP_AND: {
          if (frame->parent != nullptr) {
            const uint8_t* next = frame->continuation;
            if (*next == OP_VAR) next += 2;
            if (run_in_parent(next, pos, frame->parent) == nullptr) goto fail;
          }
          if (frame->furthest_end == nullptr || pos > frame->furthest_end) {
            frame->furthest_end = pos;
          }
          pos = frame->start;
          frame->open_quote = 0;
          continue;
        }
        case OP_STAR:
        case OP_VAR: {
          const uint8_t variable = op == OP_VAR ? *pc++ : kVariableCount;
          // In a run of lazy elements ("*" and variables) every one but the last ends where it
          // begins whenever the rest can match at all: the rest then matches from the run's
          // start too, and a lazy element tries its shortest first. Being lazy, each still
          // needs a byte where it starts. Trying each at every length instead would retry the
          // rest a window's length to the power of the run's length times before failing.
          if (is_lazy_op(*pc)) {
            if (!available(pos)) goto fail;
            if (variable == kVariableCount) continue;
            // A variable is stored once the rest has matched, as behind every lazy element.
            if (char* result = run(pc, pos, frame)) {
              store(variable, pos, pos);
              return result;
            }
            if (exhausted_) return nullptr;
            goto fail;
          }
          if ((*pc == OP_END || *pc == OP_REPEAT) && frame->parent == nullptr) {
            pull_to_window_end();
            char* end = std::max(pos, ctx_->usable_end);
            store(variable, pos, end);
            pos = end;
            continue;
          }
          for (char* p = pos;; ++p) {
            if (!pass_over_mismatches(pc, frame, false, &p)) return nullptr;
            if (!available(p)) goto fail;
            if (char* result = run(pc, p, frame)) {
              store(variable, pos, p);
              return result;
            }
            if (exhausted_) return nullptr;
          }
        }
        case OP_WORD: {
          const uint8_t next = *pc;
          if (next == OP_END || next == OP_REPEAT || next == OP_AND || next == OP_SPACE) {
            char* from = pos;
            while (available(pos) && is_word_byte(byte_at(pos))) ++pos;
            spend(static_cast<uint32_t>(pos - from));
            continue;
          }
          for (char* p = pos;; ++p) {
            if (!pass_over_mismatches(pc, frame, true, &p)) return nullptr;
            if (!available(p)) goto fail;
            if (char* result = run(pc, p, frame)) return result;
            if (exhausted_) return nullptr;
            if (!is_word_byte(byte_at(p))) goto fail;
          }
        }
        case OP_CLASS:
          // A failure restarts from a saved position and element, so pc and pos need not move.
          if (!here || !class_element_passes(pc, byte_at(pos), &pc)) goto fail;
          ++pos;
          continue;
        case OP_ANY:
          if (!here || byte_at(pos) == 0) goto fail;
          ++pos;
          continue;
        case OP_NUMBER: {
          const uint8_t* bounds = pc;
          pc += 8;
          if (!number_at(bounds, &pos)) goto fail;
          continue;
        }
        case OP_SPACE1:
          if (!here || byte_at(pos) > 32) goto fail;
          pos = skip_whitespace(pos + 1);
          continue;
        case OP_SPACE:
          pos = skip_whitespace(pos);
          continue;
        case OP_EQUALS:
          pos = skip_whitespace(pos);
          if (!available(pos) || byte_at(pos) != '=') goto fail;
          pos = skip_whitespace(pos + 1);
          continue;
        case OP_OPENQUOTE:
          if (!here || (byte_at(pos) != '"' && byte_at(pos) != '\'')) goto fail;
          frame->open_quote = *pos++;
          continue;
        case OP_CLOSEQUOTE:
          if (frame->open_quote != 0) {
            // A quote escaped by a backslash does not close; the byte before the match start is
            // not looked at.
            if (!here || *pos != frame->open_quote) goto fail;
            if (pos > ctx_->root_frame.start && pos[-1] == '\\') goto fail;
            frame->open_quote = 0;
          } else if (!here || *pos != '\'') {
            goto fail;
          }
          ++pos;
          continue;
        case OP_GROUP: {
          const uint8_t* content = pc + 2;
          const uint8_t* after = content + read_be16(pc) + 1;
          const bool negated = *content == OP_NOT;
          if (negated) ++content;
          MatchFrame group{frame, pos, after, nullptr, 0};
          char* result = run(content, pos, &group);
          if (exhausted_) return nullptr;
          if (!negated) {
            if (result != nullptr) return result;
            goto fail;
          }
          if (result != nullptr) goto fail;
          // A negated group matches no text: a store behind it keeps an empty variable.
          pc = after;
          if (*pc == OP_VAR) {
            store(pc[1], pos, pos);
            pc += 2;
          }
          continue;
        }
        default:
          if (!here || !literal_matches(op, byte_at(pos))) goto fail;
          ++pos;
          continue;
      }
    }
  fail:
    if (exhausted_ || pending == nullptr) return nullptr;
    pc = pending;
    pending = nullptr;
    pos = frame->start;
    frame->furthest_end = nullptr;
    frame->open_quote = 0;
  }
}

thread_local uint64_t bounds_hit = 0;

}  // namespace

char* match_full(MatchState* ctx) {
  if (ctx->pattern == nullptr) return nullptr;
  FullMatcher matcher(ctx);
  char* result;
  if (ctx->frame != nullptr) {
    result = matcher.run(ctx->pattern, ctx->position, ctx->frame);
  } else {
    ctx->root_frame = MatchFrame{nullptr, ctx->position, nullptr, nullptr, 0};
    ctx->usable_end = std::min(ctx->data_end, ctx->window_end);
    ctx->frame = &ctx->root_frame;
    result = matcher.run(ctx->pattern, ctx->position, ctx->frame);
    ctx->frame = nullptr;
  }
  ctx->full_steps += matcher.steps();
  if (matcher.exhausted()) ++bounds_hit;
  return result;
}

uint64_t match_bounds_hit() { return bounds_hit; }

}  // namespace kw
