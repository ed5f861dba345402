#include "mif/record_emitter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "mif/coordinates.h"

namespace {

constexpr size_t kLargestCollected = size_t{8} << 20;
constexpr std::string_view kPointHead = "Point ";
constexpr std::string_view kPointTail = "    Symbol (35,0,12)\r\n";

bool Usable(const Tuple& t) { return t.comma && t.comma != t.begin && t.y_end != t.comma + 1; }

// Room for a vertex line: the line, or the 32 bytes that PutVertexLine may store.
size_t LineBound(const Tuple& t) { return std::max<size_t>(static_cast<size_t>(t.y_end - t.begin) + 2, 32); }

// The tuple that begins at `p`, byte by byte.
Tuple ScalarTuple(const char* p, const char* end) {
  Tuple t{p, p, nullptr, nullptr, false, false};
  const char* second = nullptr;
  for (; t.end != end && !IsTupleSeparator(*t.end); ++t.end) {
    if (*t.end == ',') {
      if (!t.comma) {
        t.comma = t.end;
      } else if (!second) {
        second = t.end;
      }
    }
  }
  t.y_end = second ? second : t.end;
  t.high = HasHighByte(std::string_view(t.begin, static_cast<size_t>(t.y_end - t.begin)));
  return t;
}

#ifdef __SSE2__
uint32_t BlankMask(__m128i v) {
  __m128i space = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
  __m128i from_tab = _mm_sub_epi8(v, _mm_set1_epi8('\t'));  // tab, LF, VT, FF, CR: 0..4
  __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(from_tab, _mm_set1_epi8(4)), from_tab);
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(space, control)));
}

uint32_t CommaMask(__m128i v) {
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(','))));
}
#endif

// Finds the next tuple at or after `p` in the text that ends at `end`, and moves `p` past it.
// Tuples of real coordinates are short: 32 bytes at a time give their end and commas as byte
// masks, also near the end of the text as long as 32 bytes can be read there (bytes past the
// end count as blanks). A longer tuple takes the byte-by-byte path. False at the end.
inline bool NextTuple(const char*& p, const char* end, const char* readable_end, Tuple& t) {
  for (;;) {
#ifdef __SSE2__
    if (p < end && readable_end - p >= 32) {
      __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      uint32_t blanks = BlankMask(low) | BlankMask(high) << 16;
      if (end - p < 32) blanks |= ~0u << (end - p);
      if (blanks & 1) {  // blanks first: skip them
        uint32_t others = ~blanks;
        p = others ? p + __builtin_ctz(others) : std::min(end, p + 32);
        continue;
      }
      if (blanks) {
        unsigned length = static_cast<unsigned>(__builtin_ctz(blanks));
        uint32_t commas = (CommaMask(low) | CommaMask(high) << 16) & ((1u << length) - 1);
        t = Tuple{p, p + length, nullptr, p + length, false, true};
        if (commas) {
          t.comma = p + __builtin_ctz(commas);
          commas &= commas - 1;
          if (commas) t.y_end = p + __builtin_ctz(commas);
        }
        uint32_t signs = static_cast<uint32_t>(_mm_movemask_epi8(low)) | static_cast<uint32_t>(_mm_movemask_epi8(high)) << 16;
        t.high = (signs & ((1u << (t.y_end - p)) - 1)) != 0;
        // The blanks after the tuple, from the same mask when they end within it.
        uint32_t after = ~blanks >> length;
        p += length;
        if (after) p += __builtin_ctz(after);
        return true;
      }
    }
#endif
    while (p < end && IsTupleSeparator(*p)) ++p;
    if (p >= end) return false;
    t = ScalarTuple(p, end);
    p = t.end;
    return true;
  }
}

// "x y\r\n" with the fields decoded, for a tuple that holds a byte above 0x7F.
char* PutDecodedLine(char* p, const Tuple& t, Encoding encoding) {
  p = Put(p, DecodePart(std::string_view(t.begin, static_cast<size_t>(t.comma - t.begin)), encoding));
  *p++ = ' ';
  p = Put(p, DecodePart(std::string_view(t.comma + 1, static_cast<size_t>(t.y_end - t.comma - 1)), encoding));
  *p++ = '\r';
  *p++ = '\n';
  return p;
}

// Field 1, a space, field 2, CR LF at `p`; may store up to 32 bytes, past the line's end.
inline char* PutVertexLine(char* p, const Tuple& t, Encoding encoding) {
  if (t.high) return PutDecodedLine(p, t, encoding);
  size_t length = static_cast<size_t>(t.y_end - t.begin);
#ifdef __SSE2__
  if (t.readable32) {
    // The tuple and what follows it, 32 bytes at once: cheaper than a copy of its length.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.begin)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.begin + 16)));
  } else {
    std::memcpy(p, t.begin, length);
  }
#else
  std::memcpy(p, t.begin, length);
#endif
  p[t.comma - t.begin] = ' ';
  p += length;
  *p++ = '\r';
  *p++ = '\n';
  return p;
}

}  // namespace

bool RecordEmitter::AppendPoint(std::string_view coordinates, MifWriter& out, std::string_view tail) {
  const char* p = coordinates.data();
  Tuple t;
  if (!NextTuple(p, coordinates.data() + coordinates.size(), readable_end_, t) || !Usable(t)) return false;
  if (tail.empty()) tail = kPointTail;
  char* q = out.Claim(kPointHead.size() + LineBound(t) + tail.size());
  q = Put(q, kPointHead);
  q = PutVertexLine(q, t, encoding_);
  out.Advance(Put(q, tail));
  return true;
}

size_t RecordEmitter::CollectVertices(std::string_view coordinates, MifWriter& lines) {
  // Every usable tuple of n >= 3 bytes takes one blank at least and gives n + 2 bytes, and
  // the last line may store 32 bytes.
  char* const first = lines.Claim(coordinates.size() + coordinates.size() / 3 + 64);
  char* q = first;
  size_t count = 0;
  const char* p = coordinates.data();
  const char* const end = p + coordinates.size();
  for (Tuple t; NextTuple(p, end, readable_end_, t);) {
    if (!Usable(t)) continue;
    ++count;
    q = PutVertexLine(q, t, encoding_);
  }
  lines.Advance(q);
  return count;
}

bool RecordEmitter::AppendVertices(std::string_view coordinates, const VertexSectionParams& params, MifWriter& out,
                                   std::string_view tail) {
  if (tail.empty()) tail = params.tail;
  if (coordinates.size() > kLargestCollected) return AppendLargeVertices(coordinates, params, out, tail);
  vertices_.Clear();
  size_t count = CollectVertices(coordinates, vertices_);
  if (count < 2) return false;
  PutHead(count, params.head, out);
  out.Append(vertices_.text());
  out.Append(tail);
  return true;
}

// The vertices of a very large element go straight to the output, after a first pass that
// counts them: collecting them first would double the memory the element takes.
bool RecordEmitter::AppendLargeVertices(std::string_view coordinates, const VertexSectionParams& params,
                                        MifWriter& out, std::string_view tail) {
  const char* const end = coordinates.data() + coordinates.size();
  size_t count = 0;
  const char* p = coordinates.data();
  for (Tuple t; NextTuple(p, end, readable_end_, t);) count += Usable(t);
  if (count < 2) return false;
  PutHead(count, params.head, out);
  p = coordinates.data();
  for (Tuple t; NextTuple(p, end, readable_end_, t);) {
    if (Usable(t)) out.Advance(PutVertexLine(out.Claim(LineBound(t)), t, encoding_));
  }
  out.Append(tail);
  return true;
}

void RecordEmitter::PutHead(size_t count, std::string_view head, MifWriter& out) {
  std::string digits = std::to_string(count);
  char* p = out.Claim(2 + head.size() + digits.size() + 2);
  p = Put(p, "\r\n");
  p = Put(p, head);
  p = Put(p, digits);
  out.Advance(Put(p, "\r\n"));
}
