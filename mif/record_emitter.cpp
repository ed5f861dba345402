#include "mif/record_emitter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "mif/coordinates.h"
#include "mif/decimal_text.h"

namespace {

constexpr size_t kLargestCollected = size_t{8} << 20;
constexpr std::string_view kPointHead = "Point ";
constexpr std::string_view kPointTail = "    Symbol (35,0,12)\r\n";
// The most of a tuple that a report quotes.
constexpr size_t kQuoted = 40;

bool Usable(const Tuple& t) { return t.comma && t.comma != t.begin && t.y_end != t.comma + 1; }

// Whether both fields of a usable tuple are numbers, byte by byte.
__attribute__((noinline)) bool FieldsAreNumbers(const Tuple& t) {
  return IsMifNumber(std::string_view(t.begin, static_cast<size_t>(t.comma - t.begin))) &&
         IsMifNumber(std::string_view(t.comma + 1, static_cast<size_t>(t.y_end - t.comma - 1)));
}

// Room for a projected vertex line: two numbers below 1e9 with 3 decimals and the bytes that
// PutThousandths may store past the second.
constexpr size_t kProjectedLine = 48;

// Room for a vertex line: the line, the 64 bytes that PutVertexLine may store, or a
// projected line.
size_t LineBound(const Tuple& t) {
  return std::max<size_t>(static_cast<size_t>(t.y_end - t.begin) + 2, std::max<size_t>(64, kProjectedLine));
}

// The field after the second of a tuple, up to a third comma or the tuple's end; empty for none.
std::string_view ThirdField(const Tuple& t) {
  if (t.y_end == t.end) return {};
  const char* begin = t.y_end + 1;
  const char* end = begin;
  while (end != t.end && *end != ',') ++end;
  return std::string_view(begin, static_cast<size_t>(end - begin));
}

// The longitude and latitude of a vertex.
bool ParseTuple(const Tuple& t, const char* readable_end, double* longitude, double* latitude) {
  using decimal_text::ParseNumber;
  return t.vertex && ParseNumber(t.begin, t.comma, readable_end, longitude) &&
         ParseNumber(t.comma + 1, t.y_end, readable_end, latitude);
}

// A longitude and latitude that name a place on the earth.
bool IsPlace(double longitude, double latitude) { return std::fabs(longitude) <= 360.0 && std::fabs(latitude) <= 90.0; }

// The tuple that begins at `p`, byte by byte.
Tuple ScalarTuple(const char* p, const char* end) {
  Tuple t{p, p, nullptr, nullptr, false, 0};
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
  t.vertex = Usable(t) && FieldsAreNumbers(t);
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

// The blanks and commas of 16 bytes, as bit masks.
struct Masks16 {
  uint32_t blanks, commas;
};
Masks16 MasksOf(const char* p) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return {BlankMask(v), CommaMask(v)};
}

// The digits of 16 bytes, as a bit mask.
inline uint64_t DigitMask16(const char* p) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i from_zero = _mm_sub_epi8(v, _mm_set1_epi8('0'));
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(from_zero, _mm_set1_epi8(9)), from_zero)));
}

// Whether what is no digit in a field (`others`, its bits from the field's start at `begin`)
// is as in a number: a sign at the start, and one point at the most.
inline bool NumberAround(const char* begin, uint64_t others) {
  if ((others & 1) && (begin[0] == '-' || begin[0] == '+')) others &= ~1ull;
  return others == 0 || ((others & (others - 1)) == 0 && begin[__builtin_ctzll(others)] == '.');
}

// Whether the fields of the usable tuple `t`, which lies in a window of 32 or 64 readable
// bytes, are numbers as nearly all coordinates are written: a sign, digits and at most one
// point each. Others (an exponent, text) are read byte by byte.
__attribute__((always_inline)) inline bool FieldsAreNumbersInWindow(const Tuple& t) {
  const auto comma = static_cast<unsigned>(t.comma - t.begin), y_end = static_cast<unsigned>(t.y_end - t.begin);
  uint64_t digits = DigitMask16(t.begin) | DigitMask16(t.begin + 16) << 16;
  if (y_end > 32) digits |= (DigitMask16(t.begin + 32) | DigitMask16(t.begin + 48) << 16) << 32;
  const uint64_t fields = y_end == 64 ? ~0ull : (1ull << y_end) - 1;
  // Most tuples: digits, a point, digits, the comma, digits, a point, digits.
  uint64_t others = fields & ~digits;
  const unsigned first = static_cast<unsigned>(__builtin_ctzll(others | 1ull << 63));
  others &= others - 1;
  const unsigned second = static_cast<unsigned>(__builtin_ctzll(others | 1ull << 63));
  others &= others - 1;
  const unsigned third = static_cast<unsigned>(__builtin_ctzll(others | 1ull << 63));
  others &= others - 1;
  if (others == 0 && second == comma && first > 0 && first + 1 < comma && third > comma + 1 && third + 1 < y_end &&
      t.begin[first] == '.' && t.begin[third] == '.') {
    return true;
  }
  const uint64_t x = (1ull << comma) - 1, y = fields & ~x & ~(1ull << comma);
  if ((digits & x) && (digits & y) && NumberAround(t.begin, x & ~digits) &&
      NumberAround(t.comma + 1, (y & ~digits) >> (comma + 1))) {
    return true;
  }
  return FieldsAreNumbers(t);
}
#endif

// Finds the next tuple at or after `p` in the text that ends at `end`, and moves `p` past it.
// Tuples of real coordinates are short: 32 bytes at a time give their end, commas, digits and
// points as byte masks, and 64 for the 38-40 bytes of Google Earth's full-precision tuples, also near the
// end of the text as long as the bytes can be read there (bytes past the end count as
// blanks). A longer tuple takes the byte-by-byte path. False at the end.
__attribute__((always_inline)) inline bool NextTuple(const char*& p, const char* end, const char* readable_end,
                                                    Tuple& t) {
  for (;;) {
#ifdef __SSE2__
    if (p < end && readable_end - p >= 32) {
      Masks16 m0 = MasksOf(p), m1 = MasksOf(p + 16);
      uint64_t blanks = m0.blanks | m1.blanks << 16;
      uint64_t commas = m0.commas | m1.commas << 16;
      unsigned window = 32;
      if (end - p < 32) blanks |= ~0ull << (end - p);
      if ((blanks & 0xFFFFFFFFull) == 0 && readable_end - p >= 64) {
        // No blank and no end in the first 32 bytes: the next 32 as well.
        Masks16 m2 = MasksOf(p + 32), m3 = MasksOf(p + 48);
        blanks |= static_cast<uint64_t>(m2.blanks | m3.blanks << 16) << 32;
        commas |= static_cast<uint64_t>(m2.commas | m3.commas << 16) << 32;
        window = 64;
        if (end - p < 64) blanks |= ~0ull << (end - p);
      }
      const uint64_t in_window = window == 64 ? ~0ull : 0xFFFFFFFFull;
      blanks &= in_window;
      if (blanks & 1) {  // blanks first: skip them
        uint64_t others = ~blanks & in_window;
        p = others ? p + __builtin_ctzll(others) : std::min(end, p + window);
        continue;
      }
      if (blanks) {
        unsigned length = static_cast<unsigned>(__builtin_ctzll(blanks));
        commas &= (1ull << length) - 1;
        t = Tuple{p, p + length, nullptr, p + length, false, static_cast<uint8_t>(window)};
        if (commas) {
          t.comma = p + __builtin_ctzll(commas);
          commas &= commas - 1;
          if (commas) t.y_end = p + __builtin_ctzll(commas);
        }
        t.vertex = Usable(t) && FieldsAreNumbersInWindow(t);
        // The blanks after the tuple, from the same mask when they end within it.
        uint64_t after = ~blanks & in_window;
        after >>= length;
        p += length;
        if (after) p += __builtin_ctzll(after);
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

// Whether the projection gave an easting and northing that a line can hold.
bool HasMetres(double x, double y) { return std::fabs(x) < 1e9 && std::fabs(y) < 1e9; }  // false for NaN

// "X Y\r\n", easting and northing in metres with 3 decimals (HasMetres).
inline char* PutMetres(char* p, double x, double y) {
  p = decimal_text::PutThousandths(p, x);
  *p++ = ' ';
  p = decimal_text::PutThousandths(p, y);
  *p++ = '\r';
  *p++ = '\n';
  return p;
}

// Field 1, a space, field 2, CR LF at `p`; may store up to 64 bytes, past the line's end.
inline char* PutVertexLine(char* p, const Tuple& t) {
  size_t length = static_cast<size_t>(t.y_end - t.begin);
#ifdef __SSE2__
  if (t.window) {
    // The tuple and what follows it, 32 or 64 bytes at once: cheaper than a copy of its length.
    for (unsigned i = 0; i < t.window; i += 16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.begin + i)));
    }
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

void LeftOut::Add(const LeftOut& other) {
  no_number += other.no_number;
  beyond += other.beyond;
  records += other.records;
  if (other.first_at < first_at) {
    first = other.first;
    first_at = other.first_at;
  }
}

void RecordEmitter::NoteNoNumber(const Tuple& t) {
  ++left_out_total_.no_number;
  const uint64_t at = place_base_ + static_cast<uint64_t>(t.begin - text_);
  if (at < left_out_total_.first_at) {
    left_out_total_.first_at = at;
    left_out_total_.first.assign(t.begin, std::min<size_t>(static_cast<size_t>(t.end - t.begin), kQuoted));
  }
}

bool RecordEmitter::NotWritten(size_t usable, size_t needed) {
  left_out_ = usable >= needed;
  return false;
}

bool RecordEmitter::OnTheEarth(double longitude, double latitude) {
  if (zone_width_ && IsPlace(longitude, latitude)) {
    const double zone = zone_width_ == 3 ? std::floor((longitude + 1.5) / 3.0) : std::floor(longitude / 6.0) + 1.0;
    ++zones_[static_cast<size_t>(static_cast<int>(zone) + kZoneOffset)];
  }
  if (IsPlace(longitude, latitude) && std::fabs(longitude - grid_->projection().central_meridian()) <= 90.0) return true;
  ++left_out_total_.beyond;
  return false;
}

char* RecordEmitter::PutLine(char* p, const Tuple& t, const char* readable_end, const Tuple* as_written) {
  char* const end = PutLineOnly(p, t, readable_end, as_written);
  if (keep_thirds_ && end != p) thirds_.Add(ThirdField(t));
  return end;
}

char* RecordEmitter::PutLineOnly(char* p, const Tuple& t, const char* readable_end, const Tuple* as_written) {
  if (!grid_ && t.vertex) return PutVertexLine(p, t);
  double longitude, latitude;
  if (!ParseTuple(t, readable_end ? readable_end : readable_end_, &longitude, &latitude)) {
    NoteNoNumber(as_written ? *as_written : t);
    return p;
  }
  return OnTheEarth(longitude, latitude) ? PutProjected(p, longitude, latitude) : p;
}

void RecordEmitter::ThirdFields::AddOther(std::string_view field) {
  double value = 0;
  // from_chars takes no "+".
  const char* begin = field.data() + (field[0] == '+' ? 1 : 0);
  if (!IsMifNumber(field) || std::from_chars(begin, field.data() + field.size(), value).ec != std::errc()) {
    no_number = true;
    return;
  }
  if (!any || value < least) least = value, least_text = field;
  if (!any || value > greatest) greatest = value, greatest_text = field;
  any = true;
}

char* RecordEmitter::PutProjected(char* p, double longitude, double latitude) {
  double x, y;
  grid_->Forward(longitude, latitude, &x, &y);
  if (!HasMetres(x, y)) {
    ++left_out_total_.beyond;
    return p;
  }
  far_vertices_ += std::fabs(longitude - grid_->projection().central_meridian()) > half_width_;
  bounds_.Add(x, y);
  return PutMetres(p, x, y);
}

bool RecordEmitter::AppendPoint(std::string_view coordinates, MifWriter& out, std::string_view tail) {
  left_out_ = false;
  const char* p = coordinates.data();
  Tuple t;
  if (!NextTuple(p, coordinates.data() + coordinates.size(), readable_end_, t) || !Usable(t)) return false;
  if (tail.empty()) tail = kPointTail;
  char* q = out.Claim(kPointHead.size() + LineBound(t) + tail.size());
  char* const start = q;
  q = Put(q, kPointHead);
  char* const line = q;
  q = PutLine(q, t);
  if (q == line) {
    out.Advance(start);
    return NotWritten(1, 1);
  }
  last_count_ = 1;
  out.Advance(Put(q, tail));
  return true;
}

bool RecordEmitter::CollectPoint(std::string_view coordinates, MifWriter& lines, bool* usable) {
  const char* p = coordinates.data();
  Tuple t;
  const bool has = NextTuple(p, coordinates.data() + coordinates.size(), readable_end_, t) && Usable(t);
  if (usable) *usable = has;
  if (!has) return false;
  char* start = lines.Claim(LineBound(t));
  char* end = PutLine(start, t);
  lines.Advance(end);
  return end != start;
}

bool RecordEmitter::CollectCoord(std::string_view coord, MifWriter& lines, bool* usable) {
  // "lon lat [alt]": the first two blank-separated fields, as a tuple's two fields.
  const char* p = coord.data();
  const char* const end = p + coord.size();
  auto field = [&](const char** begin, const char** stop) {
    while (p < end && IsTupleSeparator(*p)) ++p;
    *begin = p;
    while (p < end && !IsTupleSeparator(*p)) ++p;
    *stop = p;
    return *begin != *stop;
  };
  const char *x_begin, *x_end, *y_begin, *y_end;
  const bool has = field(&x_begin, &x_end) && field(&y_begin, &y_end);
  if (usable) *usable = has;
  if (!has) return false;
  // The same line as a tuple "x,y" gives: x_end takes the comma's place.
  std::string tuple(x_begin, x_end);
  tuple += ',';
  tuple.append(y_begin, y_end);
  Tuple t{tuple.data(), tuple.data() + tuple.size(), tuple.data() + (x_end - x_begin), tuple.data() + tuple.size(),
          false, 0};
  t.vertex = FieldsAreNumbers(t);
  // Quoted as the file writes it.
  const Tuple written{x_begin, y_end, x_end, y_end, false, 0};
  if (!t.vertex) {
    NoteNoNumber(written);
    return false;
  }
  char* start = lines.Claim(LineBound(t));
  // The tuple is a string of its own: nothing past it may be read.
  char* line_end = PutLine(start, t, tuple.data() + tuple.size(), &written);
  lines.Advance(line_end);
  const char *z_begin, *z_end;
  if (keep_thirds_ && line_end != start && field(&z_begin, &z_end)) {
    thirds_.Add(std::string_view(z_begin, static_cast<size_t>(z_end - z_begin)));
  }
  return line_end != start;
}

void RecordEmitter::Extent::Add(const Extent& other) {
  min_lon = std::min(min_lon, other.min_lon);
  max_lon = std::max(max_lon, other.max_lon);
  min_lat = std::min(min_lat, other.min_lat);
  max_lat = std::max(max_lat, other.max_lat);
}

void RecordEmitter::Bounds::Add(const Bounds& other) {
  min_x = std::min(min_x, other.min_x);
  max_x = std::max(max_x, other.max_x);
  min_y = std::min(min_y, other.min_y);
  max_y = std::max(max_y, other.max_y);
}

bool RecordEmitter::FirstVertex(std::string_view coordinates, double* longitude, double* latitude) const {
  const char* p = coordinates.data();
  const char* const end = p + coordinates.size();
  for (Tuple t; NextTuple(p, end, readable_end_, t);) {
    if (t.vertex) return ParseTuple(t, readable_end_, longitude, latitude) && IsPlace(*longitude, *latitude);
  }
  return false;
}

size_t RecordEmitter::CountVertices(std::string_view coordinates) const {
  const char* p = coordinates.data();
  const char* const end = p + coordinates.size();
  size_t count = 0;
  for (Tuple t; NextTuple(p, end, readable_end_, t);) count += t.vertex;
  return count;
}

size_t RecordEmitter::CollectVertices(std::string_view coordinates, MifWriter& lines, size_t* usable) {
  char* const first = lines.Claim(LinesBound(coordinates));
  size_t count = 0;
  lines.Advance(PutVertexLines(coordinates, first, &count));
  // Whether a list of too few vertices was left out is asked only then.
  if (usable) *usable = count >= kRegionParams.fewest ? count : UsableTuples(coordinates);
  return count;
}

size_t RecordEmitter::LinesBound(std::string_view coordinates) const {
  // Every vertex of n >= 3 bytes takes one blank at least and gives n + 2 bytes, and the last
  // line may store 64 bytes; projected, it gives two numbers of at most 14 characters (a
  // projected coordinate stays below 1e9 metres).
  return grid_ ? (coordinates.size() / 4 + 2) * 40 : coordinates.size() + coordinates.size() / 3 + 64;
}

char* RecordEmitter::PutVertexLines(std::string_view coordinates, char* q, size_t* count) {
  if (grid_) return PutProjectedLines(coordinates, q, count);
  return keep_thirds_ ? PutCopiedLines<true>(coordinates, q, count) : PutCopiedLines<false>(coordinates, q, count);
}

template <bool kKeepThirds>
char* RecordEmitter::PutCopiedLines(std::string_view coordinates, char* q, size_t* count) {
  const char* p = coordinates.data();
  const char* const end = p + coordinates.size();
  // The loop of nearly every conversion, without a call for each line; the count is a local,
  // which the bytes written cannot alias.
  size_t n = 0;
  for (Tuple t; NextTuple(p, end, readable_end_, t);) {
    if (t.vertex) {
      ++n;
      q = PutVertexLine(q, t);
      if constexpr (kKeepThirds) thirds_.Add(ThirdField(t));
    } else if (Usable(t)) {
      NoteNoNumber(t);
    }
  }
  *count += n;
  return q;
}

size_t RecordEmitter::UsableTuples(std::string_view coordinates) const {
  const char* p = coordinates.data();
  const char* const end = p + coordinates.size();
  size_t usable = 0;
  for (Tuple t; NextTuple(p, end, readable_end_, t);) usable += Usable(t);
  return usable;
}

char* RecordEmitter::PutProjectedLines(std::string_view coordinates, char* q, size_t* count) {
  // In batches: the vertices of a batch are parsed, then projected, then written, so that the
  // work of several vertices overlaps instead of waiting on one vertex's chain of dependent
  // steps. What is counted is counted in locals, which the bytes written cannot alias.
  const char* p = coordinates.data();
  const char* const end = p + coordinates.size();
  constexpr int kBatch = 16;
  double longitudes[kBatch], latitudes[kBatch], x[kBatch], y[kBatch];
  std::string_view thirds[kBatch];
  Bounds bounds = bounds_;
  size_t far = 0, written = 0, beyond = 0;
  const double meridian = grid_->projection().central_meridian(), half_width = half_width_;
  for (bool more = true; more;) {
    int n = 0;
    Tuple t;
    while (n < kBatch && (more = NextTuple(p, end, readable_end_, t))) {
      if (!Usable(t)) continue;
      if (!ParseTuple(t, readable_end_, &longitudes[n], &latitudes[n])) {
        NoteNoNumber(t);
      } else if (OnTheEarth(longitudes[n], latitudes[n])) {
        if (keep_thirds_) thirds[n] = ThirdField(t);
        ++n;
      }
    }
    for (int i = 0; i < n; ++i) grid_->Forward(longitudes[i], latitudes[i], &x[i], &y[i]);
    for (int i = 0; i < n; ++i) {
      if (!HasMetres(x[i], y[i])) {
        ++beyond;
        continue;
      }
      ++written;
      if (keep_thirds_) thirds_.Add(thirds[i]);
      far += std::fabs(longitudes[i] - meridian) > half_width;
      bounds.Add(x[i], y[i]);
      q = PutMetres(q, x[i], y[i]);
    }
  }
  bounds_ = bounds;
  far_vertices_ += far;
  left_out_total_.beyond += beyond;
  *count += written;
  return q;
}

bool RecordEmitter::AppendVertices(std::string_view coordinates, const VertexSectionParams& params, MifWriter& out,
                                   std::string_view tail) {
  if (tail.empty()) tail = params.tail;
  left_out_ = false;
  if (coordinates.size() > kLargestCollected) return AppendLargeVertices(coordinates, params, out, tail);
  // The lines are written once, in place: after room for the head with as many digits as the
  // number of lines will likely have (that of the text's size at the bytes per line of the
  // last record), and moved when the guess was wrong.
  const size_t guessed = static_cast<size_t>(static_cast<double>(coordinates.size()) / bytes_per_tuple_);
  const size_t guessed_head = HeadSize(params.head, std::max<size_t>(guessed, 1));
  char* const start = out.Claim(guessed_head + LinesBound(coordinates) + tail.size());
  size_t count = 0;
  char* end = PutVertexLines(coordinates, start + guessed_head, &count);
  if (count < params.fewest) return NotWritten(UsableTuples(coordinates), 2);
  bytes_per_tuple_ = static_cast<double>(coordinates.size()) / static_cast<double>(count);
  const size_t head = HeadSize(params.head, count);
  if (head != guessed_head) {
    std::memmove(start + head, start + guessed_head, static_cast<size_t>(end - (start + guessed_head)));
    end += static_cast<ptrdiff_t>(head) - static_cast<ptrdiff_t>(guessed_head);
  }
  PutHead(start, count, params.head);
  last_count_ = count;
  out.Advance(Put(end, tail));
  return true;
}

// The vertices of a very large element go straight to the output, after a first pass that
// counts them: collecting them first would double the memory the element takes.
bool RecordEmitter::AppendLargeVertices(std::string_view coordinates, const VertexSectionParams& params,
                                        MifWriter& out, std::string_view tail) {
  const char* const end = coordinates.data() + coordinates.size();
  // The first pass notes what is left out; the extent is the writing pass's.
  const Tally before = tally();
  size_t count = 0, usable = 0;
  MifWriter line;
  const char* p = coordinates.data();
  for (Tuple t; NextTuple(p, end, readable_end_, t);) {
    if (!Usable(t)) continue;
    ++usable;
    line.Clear();
    char* start = line.Claim(LineBound(t));
    count += PutLine(start, t) != start;
  }
  Restore(before);
  if (count < params.fewest) return NotWritten(usable, 2);
  const LeftOut noted = left_out_total_;
  const ZoneCounts zones = zones_;
  PutHead(count, params.head, out);
  p = coordinates.data();
  for (Tuple t; NextTuple(p, end, readable_end_, t);) {
    if (Usable(t)) out.Advance(PutLine(out.Claim(LineBound(t)), t));
  }
  left_out_total_ = noted;
  zones_ = zones;
  last_count_ = count;
  out.Append(tail);
  return true;
}

void RecordEmitter::PutHead(size_t count, std::string_view head, MifWriter& out) {
  out.Advance(PutHead(out.Claim(HeadSize(head, count)), count, head));
}

size_t RecordEmitter::HeadSize(std::string_view head, size_t count) {
  size_t digits = 1;
  for (size_t rest = count; rest >= 10; rest /= 10) ++digits;
  return 2 + head.size() + digits + 2;
}

char* RecordEmitter::PutHead(char* p, size_t count, std::string_view head) {
  char digits[24];
  char* const digits_end = std::to_chars(digits, digits + sizeof digits, count).ptr;
  p = Put(p, "\r\n");
  p = Put(p, head);
  p = Put(p, std::string_view(digits, static_cast<size_t>(digits_end - digits)));
  return Put(p, "\r\n");
}
