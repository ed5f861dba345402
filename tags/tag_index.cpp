#include "tags/tag_index.h"

#include "mif/mif_writer.h"
#include "mif/ordered_parallel.h"

const std::string_view kTagPattern = "<[^<]*>";

std::vector<std::string> BuildTagIndex(const Pattern& tag_pattern, std::string_view text) {
  std::vector<ElementMatch> tags = tag_pattern.FindAll(text);
  std::vector<std::string> items;
  items.reserve(tags.size());
  for (const ElementMatch& m : tags) {
    if (m.whole.size() >= 2 && m.whole[1] == '/') continue;
    items.emplace_back(m.whole);
  }
  return items;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The opening part, the lazy group, and the closing part; the item text is not escaped: it is
// the user's pattern as much as the document's text.
std::vector<ElementMatch> FindElements(std::string_view open, std::string_view close,
                                       std::string_view text, bool* compiled, bool* cut_short) {
  std::string source;
  source.reserve(open.size() + close.size() + 5);
  source.append(open);
  source.append("(.*?)");
  source.append(close);
  Pattern pattern;
  *compiled = pattern.Compile(source, /*ignore_case=*/false);
  bool cut = false;
  std::vector<ElementMatch> found = pattern.FindAll(text, &cut);
  *cut_short = *cut_short || cut;
  return found;
}

}  // namespace

std::string ExtractElements(std::string_view item, std::string_view text, bool* compiled, bool* cut_short) {
  bool ignored_compiled, ignored_cut;
  if (!compiled) compiled = &ignored_compiled;
  if (!cut_short) cut_short = &ignored_cut;
  *compiled = true;
  *cut_short = false;
  std::string result;
  if (item.empty()) return result;

  std::string closing = "</";
  closing.append(item.substr(1));
  for (const ElementMatch& m : FindElements(item, closing, text, compiled, cut_short)) {
    result.append("\r\n");
    result.append(m.group);
    result.append("\r\n");
  }
  if (!result.empty() || !*compiled) return result;

  // A self-closing item has no elements; retrying with its bare name would show others.
  if (item.size() >= 2 && item.substr(item.size() - 2) == "/>") return result;
  size_t blank = 0;
  while (blank < item.size() && !IsBlank(item[blank])) ++blank;
  if (blank == 0 || blank == item.size()) return result;
  // The name ends where the item's name ends: <Style must not open <StyleMap.
  std::string bare(item.substr(0, blank));
  std::string bare_closing = "</";
  bare_closing.append(bare.substr(1));
  bare_closing += '>';
  bare += "(?=[ \\t\\r\\n>/])";
  for (const ElementMatch& m : FindElements(bare, bare_closing, text, compiled, cut_short)) {
    result.append(m.whole);
    result.append("\r\n");
  }
  return result;
}

bool WriteTagLinesOfFile(std::string_view text, Encoding encoding, int threads,
                         const std::function<bool(std::string_view)>& sink) {
  // Pieces of 2 MB of text, their lines written into writers that go round.
  constexpr size_t kPiece = size_t{2} << 20;
  Pool<MifWriter> pool;
  const char* const readable_end = text.data() + text.size();
  return OrderedParallel<MifWriter>(
      (text.size() + kPiece - 1) / kPiece, ThreadsFor(text.size(), threads), static_cast<size_t>(3 * threads),
      [&](size_t piece) {
        MifWriter lines = pool.Take();
        ForEachAngleTag(text, piece * kPiece, std::min(text.size(), (piece + 1) * kPiece), [&](size_t begin, size_t end) {
          if (text[begin + 1] == '/') return;
          std::string_view item = text.substr(begin, end - begin);
          std::string decoded;
          if (HasHighByteIn(item.data(), item.size(), readable_end)) item = decoded = DecodePart(item, encoding);
          char* p = Put(lines.Claim(item.size() + 1), item);
          *p++ = '\n';
          lines.Advance(p);
        });
        return lines;
      },
      [&](size_t, MifWriter& lines) {
        const bool written = lines.text().empty() || sink(lines.text());
        lines.Clear();
        pool.Give(lines);
        return written;
      });
}
