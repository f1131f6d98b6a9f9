// The candidate search over a list of filters; see match_prefilter.h.
#include <algorithm>
#include <cstring>
#include <vector>

#include "filters/match_prefilter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KW_FINGERPRINTS 1
#endif

namespace kw {
namespace {

int shortest_run(const MatchPrefilter& f) {
  int shortest = MatchPrefilter::kMaxPrefix;
  for (int k = 0; k < f.prefix_count; ++k) shortest = std::min<int>(shortest, f.prefix_length[k]);
  return shortest;
}

// Of the prefilters of a filter's Match and Bounds (both must hold at a start), the one whose
// runs rule out most: runs not led by blanks, then the longer shortest run.
const MatchPrefilter* runs_to_search(const MatchPrefilter& match, const MatchPrefilter* bounds) {
  const MatchPrefilter* best = nullptr;
  for (const MatchPrefilter* f : {&match, bounds}) {
    if (f == nullptr || f->any || f->prefix_count == 0) continue;
    const auto score = [](const MatchPrefilter& x) {
      return shortest_run(x) - (x.skip_blanks ? MatchPrefilter::kMaxPrefix : 0);
    };
    if (best == nullptr || score(*f) > score(*best)) best = f;
  }
  return best;
}

}  // namespace

void StartTable::clear() {
  std::memset(first_, 0, sizeof first_);
  std::memset(second_, 0, sizeof second_);
  with_runs_ = 0;
  blank_led_ = 0;
  anywhere_ = 0;
  std::memset(group_filters_, 0, sizeof group_filters_);
  grouped_ = 0;
  all_groups_ = 0;
  blank_led_groups_ = 0;
  blank_reach_ = 0;
  every_position_ = false;
  std::memset(low_, 0, sizeof low_);
  std::memset(high_, 0, sizeof high_);
  std::memset(lead3_, 0, sizeof lead3_);
  std::memset(lead2_, 0, sizeof lead2_);
  led_ = 0;
}

void StartTable::add_to_group(int group, uint64_t bit) {
  group_filters_[group] |= bit;
  grouped_ |= bit;
  all_groups_ |= static_cast<uint8_t>(1u << group);
}

void StartTable::add_fingerprint(int group, int offset, uint8_t byte) {
  low_[offset][byte & 15] |= static_cast<uint8_t>(1u << group);
  high_[offset][byte >> 4] |= static_cast<uint8_t>(1u << group);
}

void StartTable::add(int index, const PatternCode& match, const PatternCode* bounds,
                     uint32_t limit) {
  if (index >= kMaxFilters) {
    every_position_ = true;
    return;
  }
  if (!match || (bounds != nullptr && !*bounds)) return;
  const uint64_t bit = uint64_t{1} << index;
  const MatchPrefilter& m = match.prefilter();
  const MatchPrefilter* b = bounds ? &bounds->prefilter() : nullptr;
  int first_count = 0;
  for (int c = 0; c < 256; ++c) {
    const uint8_t byte = static_cast<uint8_t>(c);
    // With bounds, both expressions must match from the same bytes.
    if ((m.any || m.can_start_with(byte)) && (!b || b->any || b->can_start_with(byte))) {
      first_[c] |= bit;
      ++first_count;
    }
    if ((m.any || m.can_continue_with(byte)) && (!b || b->any || b->can_continue_with(byte))) {
      second_[c] |= bit;
    }
  }
  if (first_count == 256) {
    anywhere_ |= bit;
    return;
  }

  const MatchPrefilter* key = runs_to_search(m, b);
  if (key == nullptr) {
    // Only the first byte is known: it alone makes the fingerprint.
    const int group = index % kGroups;
    add_to_group(group, bit);
    for (int c = 0; c < 256; ++c) {
      if ((first_[c] & bit) != 0) add_fingerprint(group, 0, static_cast<uint8_t>(c));
    }
    for (int offset = 1; offset < kFingerprint; ++offset) {
      for (int n = 0; n < 16; ++n) add_fingerprint(group, offset, static_cast<uint8_t>(n * 17));
    }
    return;
  }
  Runs& runs = runs_[index];
  runs.skip_blanks = key->skip_blanks;
  runs.count = key->prefix_count;
  std::memcpy(runs.length, key->prefix_length, sizeof runs.length);
  std::memcpy(runs.bytes, key->prefix, sizeof runs.bytes);
  for (int k = 0; k < runs.count; ++k) {
    runs.wanted[k] = (uint32_t{1} << runs.length[k]) - 1;
    for (int i = 0; i < runs.length[k]; ++i) {
      const uint8_t op = runs.bytes[k][i];
      runs.fold[k][i] = op >= 'a' && op <= 'z' ? 0x20 : 0;
    }
  }
  with_runs_ |= bit;
  if (!runs.skip_blanks && shortest_run(*key) >= 2) {
    led_ |= bit;
    for (int k = 0; k < runs.count; ++k) {
      const uint8_t* r = runs.bytes[k];
      if (runs.length[k] == 2) {
        lead2_[lead2(r[0], r[1])] |= bit;
      } else {
        lead3_[lead3(r[0], r[1], r[2])] |= bit;
      }
    }
  }
  if (runs.skip_blanks) {
    blank_led_ |= bit;
    blank_reach_ = std::max(blank_reach_, limit);
  }
  // Filters whose runs begin alike share a group, so that the groups' tables stay sharp.
  const uint8_t* lead = runs.bytes[0];
  const int group = (lead[0] * 7 + (runs.length[0] > 1 ? lead[1] : 0)) % kGroups;
  add_to_group(group, bit);
  if (runs.skip_blanks) blank_led_groups_ |= static_cast<uint8_t>(1u << group);
  for (int k = 0; k < runs.count; ++k) {
    for (int offset = 0; offset < kFingerprint; ++offset) {
      for (int c = 0; c < 256; ++c) {
        const uint8_t byte = static_cast<uint8_t>(c);
        if (offset >= runs.length[k] || literal_matches(runs.bytes[k][offset], byte)) {
          add_fingerprint(group, offset, byte);
        }
      }
    }
  }
}

namespace {

// The fingerprint of one run (or of a filter's first bytes): for each offset, the sets of low
// and high four bits of the bytes it admits there; merged, the fingerprint of a group.
struct Fingerprint {
  uint64_t filters = 0;
  uint16_t low[3] = {};
  uint16_t high[3] = {};

  void admit(int offset, uint8_t byte) {
    low[offset] |= static_cast<uint16_t>(1u << (byte & 15));
    high[offset] |= static_cast<uint16_t>(1u << (byte >> 4));
  }
  // How many byte sequences of three the tables admit.
  double reach() const {
    double product = 1;
    for (int j = 0; j < 3; ++j) product *= __builtin_popcount(low[j]) * __builtin_popcount(high[j]);
    return product;
  }
  Fingerprint merged(const Fingerprint& other) const {
    Fingerprint m = *this;
    m.filters |= other.filters;
    for (int j = 0; j < 3; ++j) {
      m.low[j] |= other.low[j];
      m.high[j] |= other.high[j];
    }
    return m;
  }
};

// Above this many runs the groups stay as add made them: the merging below grows with the
// cube of the count.
constexpr size_t kMaxRegrouped = 96;

}  // namespace

void StartTable::finish() {
  static_assert(kFingerprint == 3);
  std::vector<Fingerprint> groups;
  for (int i = 0; i < kMaxFilters; ++i) {
    const uint64_t bit = uint64_t{1} << i;
    const bool runs = (with_runs_ & bit) != 0;
    if ((anywhere_ & bit) != 0 || (!runs && (group_filters_[i % kGroups] & bit) == 0)) continue;
    const int count = runs ? runs_[i].count : 1;
    for (int k = 0; k < count; ++k) {
      Fingerprint f;
      f.filters = bit;
      for (int offset = 0; offset < kFingerprint; ++offset) {
        for (int c = 0; c < 256; ++c) {
          const uint8_t byte = static_cast<uint8_t>(c);
          const Runs& r = runs_[i];
          const bool admitted =
              runs ? offset >= r.length[k] || literal_matches(r.bytes[k][offset], byte)
                   : offset > 0 || (first_[c] & bit) != 0;
          if (admitted) f.admit(offset, byte);
        }
      }
      groups.push_back(f);
    }
  }
  if (groups.size() > kMaxRegrouped) return;
  // Merge, two at a time, the groups whose union admits the fewest sequences beyond their own.
  while (groups.size() > static_cast<size_t>(kGroups)) {
    size_t best_a = 0;
    size_t best_b = 1;
    double best = -1;
    for (size_t a = 0; a < groups.size(); ++a) {
      for (size_t b = a + 1; b < groups.size(); ++b) {
        const double growth =
            groups[a].merged(groups[b]).reach() - groups[a].reach() - groups[b].reach();
        if (best < 0 || growth < best) {
          best = growth;
          best_a = a;
          best_b = b;
        }
      }
    }
    groups[best_a] = groups[best_a].merged(groups[best_b]);
    groups.erase(groups.begin() + static_cast<long>(best_b));
  }
  std::memset(low_, 0, sizeof low_);
  std::memset(high_, 0, sizeof high_);
  std::memset(group_filters_, 0, sizeof group_filters_);
  blank_led_groups_ = 0;
  grouped_ = 0;
  all_groups_ = 0;
  for (size_t g = 0; g < groups.size(); ++g) {
    grouped_ |= groups[g].filters;
    all_groups_ |= static_cast<uint8_t>(1u << g);
    group_filters_[g] = groups[g].filters;
    if ((groups[g].filters & blank_led_) != 0) blank_led_groups_ |= static_cast<uint8_t>(1u << g);
    for (int offset = 0; offset < kFingerprint; ++offset) {
      for (int n = 0; n < 16; ++n) {
        const uint8_t mark = static_cast<uint8_t>(1u << g);
        if (groups[g].low[offset] >> n & 1) low_[offset][n] |= mark;
        if (groups[g].high[offset] >> n & 1) high_[offset][n] |= mark;
      }
    }
  }
}

#if defined(__SSE2__)
// Whether one of the runs fits the sixteen bytes v, with the literals' own case folding.
inline bool StartTable::runs_fit_bytes(const Runs& runs, __m128i v) {
  for (int k = 0; k < runs.count; ++k) {
    const __m128i fold = _mm_load_si128(reinterpret_cast<const __m128i*>(runs.fold[k]));
    const __m128i run = _mm_load_si128(reinterpret_cast<const __m128i*>(runs.bytes[k]));
    const auto fits =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(v, fold), run)));
    if ((fits & runs.wanted[k]) == runs.wanted[k]) return true;
  }
  return false;
}
#endif

bool StartTable::runs_fit(const Runs& runs, const char* p, const char* end) const {
  if (runs.skip_blanks) {
    while (p < end && static_cast<uint8_t>(*p) <= 32) ++p;
  }
#if defined(__SSE2__)
  if (end - p >= MatchPrefilter::kMaxPrefix) {
    return runs_fit_bytes(runs, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
#endif
  for (int k = 0; k < runs.count; ++k) {
    const uint8_t* run = runs.bytes[k];
    const int length = runs.length[k];
    int i = 0;
    for (; i < length; ++i) {
      if (p + i >= end) return true;
      if (!literal_matches(run[i], static_cast<uint8_t>(p[i]))) break;
    }
    if (i == length) return true;
  }
  return false;
}

inline uint64_t StartTable::candidates_at(const char* p, const char* end, uint64_t filters) const {
  uint64_t mask = first_[static_cast<uint8_t>(*p)] & filters;
  if (mask == 0) return 0;
  if (p + 1 < end) mask &= second_[static_cast<uint8_t>(p[1])];
  if (end - p >= 3 && (mask & led_) != 0) {
    const uint8_t a = lower_byte(static_cast<uint8_t>(p[0]));
    const uint8_t b = lower_byte(static_cast<uint8_t>(p[1]));
    mask &=
        ~led_ | lead3_[lead3(a, b, lower_byte(static_cast<uint8_t>(p[2])))] | lead2_[lead2(a, b)];
    if (mask == 0) return 0;
  }
  uint64_t check = mask & with_runs_;
#if defined(__SSE2__)
  if (end - p >= MatchPrefilter::kMaxPrefix) {
    // The runs that begin right here are compared with the sixteen bytes loaded once.
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    for (uint64_t here = check & ~blank_led_; here != 0; here &= here - 1) {
      const int i = __builtin_ctzll(here);
      if (!runs_fit_bytes(runs_[i], v)) mask &= ~(uint64_t{1} << i);
    }
    check &= blank_led_;
  }
#endif
  for (; check != 0; check &= check - 1) {
    const int i = __builtin_ctzll(check);
    if (!runs_fit(runs_[i], p, end)) mask &= ~(uint64_t{1} << i);
  }
  return mask;
}

uint64_t StartTable::candidates(const char* p, const char* end, uint64_t filters) const {
  return candidates_at(p, end, filters);
}

const char* StartTable::next_candidate(const char* from, const char* to, uint64_t filters,
                                       uint64_t* found) const {
  uint64_t ignored;
  if (found == nullptr) found = &ignored;
  *found = 0;
  if (every_position_) {
    if (from < to) *found = candidates(from, to, filters);
    return from;
  }
#if defined(KW_FINGERPRINTS)
  // 0: no fingerprint search; 1: sixteen positions at a time; 2: thirty-two.
  static const int fingerprints = !__builtin_cpu_supports("ssse3") ? 0
                                  : __builtin_cpu_supports("avx2") ? 2
                                                                   : 1;
  if (fingerprints != 0 && (filters & anywhere_) == 0) {
    return fingerprints == 2 ? scan_fingerprints_wide(from, to, filters, found)
                             : scan_fingerprints(from, from, to, filters, found);
  }
#endif
  return scan_plain(from, to, filters, found);
}

const char* StartTable::scan_plain(const char* from, const char* to, uint64_t filters,
                                   uint64_t* found) const {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(from);
  const uint8_t* const end = reinterpret_cast<const uint8_t*>(to);
  while (p < end) {
    // Runs of bytes that begin none of the filters go four at a time.
    while (end - p >= 4 &&
           ((first_[p[0]] | first_[p[1]] | first_[p[2]] | first_[p[3]]) & filters) == 0) {
      p += 4;
    }
    while (p < end && (first_[*p] & filters) == 0) ++p;
    if (p == end) break;
    const char* at = reinterpret_cast<const char*>(p);
    if ((*found = candidates(at, to, filters)) != 0) return at;
    ++p;
  }
  return to;
}

uint8_t StartTable::groups_of(uint64_t filters) const {
  // A page's scan usually searches for every filter of the table.
  if ((filters & grouped_) == grouped_) return all_groups_;
  uint8_t groups = 0;
  for (int g = 0; g < kGroups; ++g) {
    if ((group_filters_[g] & filters) != 0) groups |= static_cast<uint8_t>(1u << g);
  }
  return groups;
}

inline const char* StartTable::check_hit(const char* from, const char* k, const char* to,
                                         uint64_t filters, uint8_t hit, uint64_t* found) const {
  const bool blank = static_cast<uint8_t>(*k) <= 32;
  if ((filters & blank_led_) != 0 && (blank || (hit & blank_led_groups_) != 0)) {
    // Another filter that may begin at one of these blanks has a hit of its own there, which
    // came first: only the blank-led filters need a look. Their runs begin where the blanks
    // end: here, unless this is a blank too, where their groups have a hit.
    const char* lowest = k - from > static_cast<long>(blank_reach_) ? k - blank_reach_ : from;
    const char* q = k;
    while (q > lowest && static_cast<uint8_t>(q[-1]) <= 32) --q;
    for (; q < k; ++q) {
      if (candidates(q, to, filters & blank_led_) != 0) {
        *found = candidates(q, to, filters);
        return q;
      }
    }
  }
  if ((*found = candidates_at(k, to, filters)) != 0) return k;
  return to;
}

#if defined(KW_FINGERPRINTS)
namespace {

// The groups whose tables (of one fingerprint offset) admit each of the sixteen bytes at p.
__attribute__((target("ssse3"))) inline __m128i admitted(const char* p, __m128i low, __m128i high) {
  const __m128i nibble = _mm_set1_epi8(0x0f);
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i lo = _mm_shuffle_epi8(low, _mm_and_si128(v, nibble));
  const __m128i hi = _mm_shuffle_epi8(high, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
  return _mm_and_si128(lo, hi);
}

// A table of sixteen bytes in both halves of a wide register.
__attribute__((target("avx2"))) inline __m256i both_halves(const uint8_t* table) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

// The same for the thirty-two bytes at p, the tables repeated in both halves.
__attribute__((target("avx2"))) inline __m256i admitted_wide(const char* p, __m256i low,
                                                             __m256i high) {
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i lo = _mm256_shuffle_epi8(low, _mm256_and_si256(v, nibble));
  const __m256i hi = _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
  return _mm256_and_si256(lo, hi);
}

}  // namespace

__attribute__((target("avx2"))) const char* StartTable::scan_fingerprints_wide(
    const char* from, const char* to, uint64_t filters, uint64_t* found) const {
  const char* p = from;
  const __m256i wanted = _mm256_set1_epi8(static_cast<char>(groups_of(filters)));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low0 = both_halves(low_[0]), low1 = both_halves(low_[1]);
  const __m256i low2 = both_halves(low_[2]);
  const __m256i high0 = both_halves(high_[0]), high1 = both_halves(high_[1]);
  const __m256i high2 = both_halves(high_[2]);
  static_assert(kFingerprint == 3);
  while (to - p >= 32 + kFingerprint - 1) {
    const __m256i hits = _mm256_and_si256(
        _mm256_and_si256(wanted, admitted_wide(p, low0, high0)),
        _mm256_and_si256(admitted_wide(p + 1, low1, high1), admitted_wide(p + 2, low2, high2)));
    const unsigned bits =
        ~static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hits, zero)));
    if (bits != 0) {
      alignas(32) uint8_t groups[32];
      _mm256_store_si256(reinterpret_cast<__m256i*>(groups), hits);
      for (unsigned todo = bits; todo != 0; todo &= todo - 1) {
        const int i = __builtin_ctz(todo);
        const char* hit = check_hit(from, p + i, to, filters, groups[i], found);
        if (hit != to) return hit;
      }
    }
    p += 32;
  }
  return scan_fingerprints(from, p, to, filters, found);
}

__attribute__((target("ssse3"))) const char* StartTable::scan_fingerprints(
    const char* from, const char* start, const char* to, uint64_t filters, uint64_t* found) const {
  const char* p = start;
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(groups_of(filters)));
  const __m128i zero = _mm_setzero_si128();
  const auto load = [](const uint8_t* table) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table));
  };
  const __m128i low0 = load(low_[0]), low1 = load(low_[1]), low2 = load(low_[2]);
  const __m128i high0 = load(high_[0]), high1 = load(high_[1]), high2 = load(high_[2]);
  static_assert(kFingerprint == 3);
  while (to - p >= 16 + kFingerprint - 1) {
    const __m128i hits =
        _mm_and_si128(_mm_and_si128(wanted, admitted(p, low0, high0)),
                      _mm_and_si128(admitted(p + 1, low1, high1), admitted(p + 2, low2, high2)));
    unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(hits, zero))) ^ 0xffffu;
    if (bits != 0) {
      alignas(16) uint8_t groups[16];
      _mm_store_si128(reinterpret_cast<__m128i*>(groups), hits);
      for (unsigned todo = bits; todo != 0; todo &= todo - 1) {
        const int i = __builtin_ctz(todo);
        const char* hit = check_hit(from, p + i, to, filters, groups[i], found);
        if (hit != to) return hit;
      }
    }
    p += 16;
  }
  // The last bytes one by one, from the blanks a blank-led filter may begin at before them.
  if ((filters & blank_led_) != 0) {
    const char* lowest = p - from > static_cast<long>(blank_reach_) ? p - blank_reach_ : from;
    while (p > lowest && static_cast<uint8_t>(p[-1]) <= 32) --p;
  }
  return scan_plain(p, to, filters, found);
}
#else
const char* StartTable::scan_fingerprints(const char* from, const char*, const char* to,
                                          uint64_t filters, uint64_t* found) const {
  return scan_plain(from, to, filters, found);
}

const char* StartTable::scan_fingerprints_wide(const char* from, const char* to, uint64_t filters,
                                               uint64_t* found) const {
  return scan_plain(from, to, filters, found);
}
#endif

}  // namespace kw
