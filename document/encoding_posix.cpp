// UTF-8 and UTF-16 to GBK with glibc's iconv, giving what MultiByteToWideChar and
// WideCharToMultiByte give on a system whose ANSI code page is 936: an invalid UTF-8 sequence
// becomes U+FFFD and a character that GBK lacks (U+FFFD among them) becomes "?", one for
// each of its UTF-16 units.
#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <cstring>

#include "document/encoding.h"
#include "document/encoding_internal.h"

namespace {

constexpr size_t kChunk = 4096;

class GbkEncoder {
 public:
  GbkEncoder() : cd_(iconv_open("GBK", "UTF-8")) {}
  ~GbkEncoder() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  GbkEncoder(const GbkEncoder&) = delete;
  GbkEncoder& operator=(const GbkEncoder&) = delete;

  // Encodes valid UTF-8 into `out`, which has room for in.size() bytes: GBK never needs more
  // bytes for a character than UTF-8 does. Returns the number of bytes written.
  size_t Encode(std::string_view in, char* out);

 private:
  iconv_t cd_;
};

// Length of the valid UTF-8 sequence at s[0] (a byte >= 0x80); when it is invalid, minus the
// length of its maximal subpart, which becomes one U+FFFD.
int SequenceLength(const unsigned char* s, size_t available) {
  unsigned char lead = s[0];
  int length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return -1;
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<size_t>(i) >= available) return -i;
    unsigned char c = s[i];
    bool in_range = i == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
    if (!in_range) return -i;
  }
  return length;
}

size_t GbkEncoder::Encode(std::string_view in, char* out) {
  char* written = out;
  if (cd_ == reinterpret_cast<iconv_t>(-1)) {
    // Without a converter every character is one the code page lacks.
    for (size_t i = 0; i < in.size();) {
      size_t skip = static_cast<size_t>(SequenceLength(reinterpret_cast<const unsigned char*>(&in[i]), in.size() - i));
      *written++ = '?';
      if (skip == 4) *written++ = '?';
      i += skip;
    }
    return static_cast<size_t>(written - out);
  }
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  size_t dst_left = in.size();
  while (src_left > 0) {
    if (iconv(cd_, &src, &src_left, &written, &dst_left) != static_cast<size_t>(-1)) break;
    if (errno != EILSEQ) break;  // cannot happen for complete, valid input with room enough
    size_t skip = static_cast<size_t>(SequenceLength(reinterpret_cast<unsigned char*>(src), src_left));
    // One "?" per UTF-16 unit, as the system's converter gives: two for a character beyond
    // U+FFFF, which is a surrogate pair there.
    size_t marks = skip == 4 ? 2 : 1;
    for (size_t i = 0; i < marks; ++i) *written++ = '?';
    src += skip;
    src_left -= skip;
    dst_left -= skip;
  }
  return static_cast<size_t>(written - out);
}

// The end of the run of ASCII bytes that starts at `from`.
size_t AsciiRunEnd(const char* s, size_t from, size_t n) {
  while (from + 8 <= n) {
    uint64_t word;
    std::memcpy(&word, s + from, 8);
    if (word & 0x8080808080808080ULL) break;
    from += 8;
  }
  while (from < n && static_cast<unsigned char>(s[from]) < 0x80) ++from;
  return from;
}

}  // namespace

std::string Utf8TextToAnsi(std::string text, size_t start, size_t /*piece*/) {
  // The result is never longer than what it was made from, so it is written over the text
  // behind the read position.
  GbkEncoder encoder;
  char* s = text.data();
  const size_t n = text.size();
  size_t read = start;
  size_t write = 0;
  char encoded[kChunk + 4];
  while (read < n) {
    size_t ascii_end = AsciiRunEnd(s, read, n);
    if (write != read) std::memmove(s + write, s + read, ascii_end - read);
    write += ascii_end - read;
    read = ascii_end;
    if (read == n) break;

    size_t run_end = read;
    int length = 0;
    while (run_end < n && run_end - read < kChunk && static_cast<unsigned char>(s[run_end]) >= 0x80) {
      length = SequenceLength(reinterpret_cast<unsigned char*>(s + run_end), n - run_end);
      if (length < 0) break;
      run_end += static_cast<size_t>(length);
    }
    if (run_end > read) {
      size_t count = encoder.Encode(std::string_view(s + read, run_end - read), encoded);
      std::memcpy(s + write, encoded, count);
      write += count;
      read = run_end;
    } else {
      s[write++] = '?';
      read += static_cast<size_t>(-length);
    }
  }
  text.resize(write);
  return text;
}

std::string WideToAnsi(std::u16string_view units, size_t /*piece*/) {
  // Through UTF-8, so that one encoder serves both conversions; a lone surrogate is U+FFFD.
  std::string utf8;
  utf8.reserve(units.size() * 3);
  auto put = [&utf8](uint32_t c) {
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else if (c < 0x800) {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (c >> 12));
      utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (c >> 18));
      utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  };
  for (size_t i = 0; i < units.size() && units[i] != 0; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    put(c);
  }
  return Utf8TextToAnsi(std::move(utf8), 0);
}
