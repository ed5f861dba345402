#include "features/row_spool.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "document/file_io.h"

namespace {

// A record: the placemark's number in its stretch (4 bytes), the size of the rest (4), its
// flags (1 byte), which of its name, description and three times it has (1 byte), those
// values, its count of ExtendedData values and each value's field and value, and, with
// styles, its styleUrl and its own style's seven texts. A value is its whole size and its text (of which a row takes
// 254 bytes at the most); a text its size and its bytes; a count or size takes 7 bits a byte.
enum Flags : uint8_t { kDescribedTwice = 1, kStyled = 2, kOwnStyle = 4 };

void PutCount(uint64_t n, std::string& out) {
  for (; n >= 0x80; n >>= 7) out += static_cast<char>((n & 0x7F) | 0x80);
  out += static_cast<char>(n);
}

void PutText(std::string_view text, std::string& out) {
  PutCount(text.size(), out);
  out.append(text);
}

void PutValue(const RowValue& value, std::string& out) {
  PutCount(value.size, out);
  PutText(value.text.substr(0, KmlFeatures::kKeptBytes), out);
}

uint64_t GetCount(const char*& p) {
  uint64_t n = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*p++);
    n |= static_cast<uint64_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return n;
  }
}

std::string_view GetText(const char*& p) {
  const auto size = static_cast<size_t>(GetCount(p));
  std::string_view text(p, size);
  p += size;
  return text;
}

RowValue GetValue(const char*& p) {
  const auto size = static_cast<size_t>(GetCount(p));
  return {GetText(p), size};
}

uint32_t Get32(const char*& p) {
  uint32_t n;
  std::memcpy(&n, p, sizeof n);
  p += sizeof n;
  return n;
}

uint32_t NumberAt(std::string_view records, size_t at) {
  uint32_t number;
  std::memcpy(&number, records.data() + at, sizeof number);
  return number;
}

// Where the record at `at` ends, and (`rest`) where what follows its size begins.
size_t RecordEnd(std::string_view records, size_t at, const char** rest = nullptr) {
  const char* p = records.data() + at + sizeof(uint32_t);
  const auto size = static_cast<size_t>(Get32(p));
  if (rest) *rest = p;
  return static_cast<size_t>(p - records.data()) + size;
}

// The seven texts of a style, in the order a record holds them.
template <typename Style>
auto StyleTexts(Style& style) {
  return std::array{&style.line_color, &style.line_width, &style.poly_color, &style.fill,
                    &style.outline,    &style.icon_color, &style.icon_scale};
}

bool SeekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

RowSpool::RowSpool(bool in_file) : use_file_(in_file) {}

RowSpool::~RowSpool() {
  if (file_) std::fclose(file_);
}

void RowSpool::AppendRecord(const KmlFeatures& reading, const Placemark& placemark, uint32_t number,
                            const RowValues& values, bool styles, std::string& records) {
  records.append(reinterpret_cast<const char*>(&number), sizeof number);
  const size_t size_at = records.size();
  records.append(sizeof(uint32_t), '\0');
  const bool own = styles && placemark.inline_style >= 0;
  records += static_cast<char>((values.described_twice ? kDescribedTwice : 0) | (styles ? kStyled : 0) | (own ? kOwnStyle : 0));
  const RowValue* fixed[] = {&values.name, &values.description, &values.times[0], &values.times[1], &values.times[2]};
  uint8_t present = 0;
  for (size_t v = 0; v < 5; ++v) present |= fixed[v]->size > 0 ? 1 << v : 0;
  records += static_cast<char>(present);
  for (size_t v = 0; v < 5; ++v) {
    if (present & (1 << v)) PutValue(*fixed[v], records);
  }
  PutCount(values.data.size(), records);
  for (const auto& [field, value] : values.data) {
    PutCount(static_cast<uint64_t>(field), records);
    PutValue(value, records);
  }
  if (styles) {
    PutText(reading.Value(placemark.style_url), records);
    if (own) {
      for (const std::string* text : StyleTexts(reading.inline_styles[static_cast<size_t>(placemark.inline_style)])) {
        PutText(*text, records);
      }
    }
  }
  const auto size = static_cast<uint32_t>(records.size() - size_at - sizeof(uint32_t));
  std::memcpy(records.data() + size_at, &size, sizeof size);
}

void RowSpool::AddStretch(std::string_view records, std::vector<int> field_of, uint32_t first_number) {
  if (records.empty()) return;
  // Made with the first records: a conversion that has none makes no file.
  if (use_file_ && !file_ && windows_.empty()) file_ = OpenScratchFile();
  auto fields = std::make_shared<const std::vector<int>>(std::move(field_of));
  // In windows of about kWindow bytes, each of whole records: a cursor holds one at a time.
  for (size_t from = 0; from < records.size();) {
    size_t to = from;
    while (to < records.size() && to - from < kWindow) to = RecordEnd(records, to);
    const uint64_t offset = in_file_ + memory_.size();
    const std::string_view window = records.substr(from, to - from);
    // Once the file fails, or where there is none, the records stay in memory: a window counts
    // as in the file only once it has been handed to the system whole.
    if (file_ && memory_.empty() && std::fwrite(window.data(), 1, window.size(), file_) == window.size() &&
        std::fflush(file_) == 0) {
      in_file_ += window.size();
    } else {
      memory_.append(window);
    }
    windows_.push_back({first_number + NumberAt(records, from), first_number, offset, window.size(), fields});
    from = to;
  }
}

bool RowSpool::Read(uint64_t offset, size_t size, std::string& out) const {
  if (g_fail_spool_reads_for_testing) return false;
  out.resize(size);
  size_t from_file = 0;
  if (offset < in_file_) {
    from_file = static_cast<size_t>(std::min<uint64_t>(size, in_file_ - offset));
    std::lock_guard<std::mutex> lock(reading_);
    if (!SeekTo(file_, offset) ||
        std::fread(out.data(), 1, from_file, file_) != from_file) {
      return false;
    }
    // Where the next records are written, should more come.
    std::fseek(file_, 0, SEEK_END);
  }
  std::memcpy(out.data() + from_file, memory_.data() + (offset + from_file - in_file_), size - from_file);
  return true;
}

bool RowSpool::Cursor::Load(size_t window) {
  if (window == window_) return true;
  const Window& w = spool_.windows_[window];
  window_ = SIZE_MAX;
  if (!spool_.Read(w.offset, static_cast<size_t>(w.size), records_)) return false;
  window_ = window;
  at_ = 0;
  return true;
}

bool RowSpool::Cursor::At(uint32_t number, RowValues* values, Style* style) {
  const std::vector<Window>& windows = spool_.windows_;
  auto after = std::upper_bound(windows.begin(), windows.end(), number,
                                [](uint32_t n, const Window& w) { return n < w.first_number; });
  if (after == windows.begin() || !Load(static_cast<size_t>(after - windows.begin() - 1))) return false;
  const uint32_t base = windows[window_].base;
  // The placemarks are asked for in the order they begin, nearly always.
  if (at_ >= records_.size() || base + NumberAt(records_, at_) > number) at_ = 0;
  const char* p = nullptr;
  for (;;) {
    if (at_ >= records_.size()) return false;
    const size_t end = RecordEnd(records_, at_, &p);
    const uint32_t found = base + NumberAt(records_, at_);
    if (found == number) break;
    if (found > number) return false;
    at_ = end;
  }
  const auto flags = static_cast<uint8_t>(*p++);
  const auto present = static_cast<uint8_t>(*p++);
  values->described_twice = flags & kDescribedTwice;
  RowValue* fixed[] = {&values->name, &values->description, &values->times[0], &values->times[1], &values->times[2]};
  for (size_t v = 0; v < 5; ++v) *fixed[v] = present & (1 << v) ? GetValue(p) : RowValue();
  const std::vector<int>& field_of = *windows[window_].field_of;
  values->data.resize(static_cast<size_t>(GetCount(p)));
  for (auto& [field, value] : values->data) {
    field = field_of[static_cast<size_t>(GetCount(p))];
    value = GetValue(p);
  }
  style->url = {};
  style->own = false;
  if (flags & kStyled) {
    style->url = GetText(p);
    style->own = flags & kOwnStyle;
    if (style->own) {
      for (std::string* text : StyleTexts(style->style)) text->assign(GetText(p));
    }
  }
  return true;
}
