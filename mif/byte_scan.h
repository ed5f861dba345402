#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace byte_scan_internal {

// visit(position), and whether to go on: a visit that returns nothing always goes on.
template <typename Visit>
bool Call(Visit& visit, size_t position) {
  if constexpr (std::is_void_v<decltype(visit(position))>) {
    visit(position);
    return true;
  } else {
    return visit(position);
  }
}

}  // namespace byte_scan_internal

// Calls visit(position) for every occurrence of the byte `c` in text[from, to), in order,
// until a visit returns false (when it returns bool). Sixteen bytes at a time: faster than a
// call of memchr per occurrence where the byte is frequent, as "<" is in KML.
template <typename Visit>
void ForEachByte(std::string_view text, size_t from, size_t to, char c, Visit&& visit) {
  using byte_scan_internal::Call;
  const char* const base = text.data();
  size_t at = from;
#ifdef __SSE2__
  const __m128i wanted = _mm_set1_epi8(c);
  // Long stretches without the byte (coordinates texts) pass 64 bytes at a time.
  for (; at + 64 <= to; at += 64) {
    const auto* block = reinterpret_cast<const __m128i*>(base + at);
    __m128i a = _mm_cmpeq_epi8(_mm_loadu_si128(block), wanted);
    __m128i b = _mm_cmpeq_epi8(_mm_loadu_si128(block + 1), wanted);
    __m128i c2 = _mm_cmpeq_epi8(_mm_loadu_si128(block + 2), wanted);
    __m128i d = _mm_cmpeq_epi8(_mm_loadu_si128(block + 3), wanted);
    if (!_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c2, d)))) continue;
    uint64_t bits = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(a)) |
                                          static_cast<uint32_t>(_mm_movemask_epi8(b)) << 16) |
                    static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(c2)) |
                                          static_cast<uint32_t>(_mm_movemask_epi8(d)) << 16) << 32;
    while (bits) {
      if (!Call(visit, at + static_cast<size_t>(__builtin_ctzll(bits)))) return;
      bits &= bits - 1;
    }
  }
  for (; at + 16 <= to; at += 16) {
    auto bits = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at)), wanted)));
    while (bits) {
      if (!Call(visit, at + static_cast<size_t>(__builtin_ctz(bits)))) return;
      bits &= bits - 1;
    }
  }
#endif
  for (; at < to; ++at) {
    if (base[at] == c && !Call(visit, at)) return;
  }
}

// Calls visit(begin, end) for every match of "<[^<]*>" in `text` whose "<" lies in
// text[from, to), leftmost first: a "<", the longest run without "<", and a ">", so each match
// runs from a "<" to the last ">" before the next "<". A "<" with no ">" before the next "<"
// begins no match. One pass forward over both bytes (looking back for the ">" would read the
// text between the tags again), which reads on past `to` up to the next "<": so a text can be
// searched in pieces, on several threads.
template <typename Visit>
void ForEachAngleTag(std::string_view text, size_t from, size_t to, Visit&& visit) {
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t open = kNone;
  size_t last_gt = kNone;
  // Takes the "<" or ">" at `at`; false at the first "<" past the piece.
  auto see = [&](size_t at) {
    if (text[at] == '>') {
      last_gt = at;
      return true;
    }
    if (open != kNone && last_gt != kNone && last_gt > open) visit(open, last_gt + 1);
    open = at < to ? at : kNone;
    return at < to;
  };
  const char* const base = text.data();
  size_t at = from;
#ifdef __SSE2__
  const __m128i lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>');
  for (; at + 16 <= text.size(); at += 16) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at));
    auto bits = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, lt), _mm_cmpeq_epi8(block, gt))));
    while (bits) {
      if (!see(at + static_cast<size_t>(__builtin_ctz(bits)))) return;
      bits &= bits - 1;
    }
  }
#endif
  for (; at < text.size(); ++at) {
    if ((base[at] == '<' || base[at] == '>') && !see(at)) return;
  }
  if (open != kNone && last_gt != kNone && last_gt > open) visit(open, last_gt + 1);
}

template <typename Visit>
void ForEachAngleTag(std::string_view text, Visit&& visit) {
  ForEachAngleTag(text, 0, text.size(), visit);
}

// Whether a byte of p[0, n) is above 0x7F, eight at a time where 8 bytes can be read from
// each group.
inline bool HasHighByteIn(const char* p, size_t n, const char* readable_end) {
  for (; n > 0 && readable_end - p >= 8; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if (n < 8) word &= ~0ull >> (8 * (8 - n));
    if (word & 0x8080808080808080ull) return true;
    n = n < 8 ? 0 : n - 8;
  }
  for (; n > 0; ++p, --n) {
    if (static_cast<unsigned char>(*p) > 0x7F) return true;
  }
  return false;
}
