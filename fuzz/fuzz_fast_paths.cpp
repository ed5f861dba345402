// The scanners behind Pattern::FindAll give exactly the regular expression's matches: the
// substring search of LITERAL(.*?)LITERAL, the tag scanner of element patterns, and the
// scanner of the tag pattern "<[^<]*>".
// Input: the lengths of the two literals (one byte each), the literals, then the text. The
// first literal, mapped to a few letters, is also the name of an element pattern.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "mif/pattern.h"

namespace {

void CheckSameMatches(const Pattern& pattern, std::string_view text) {
  auto fast = pattern.FindAll(text);
  auto engine = pattern.FindAllWithEngine(text);
  FUZZ_CHECK(fast.size() == engine.size());
  for (size_t i = 0; i < fast.size(); ++i) {
    FUZZ_CHECK(fast[i].whole.data() == engine[i].whole.data() && fast[i].whole.size() == engine[i].whole.size());
    FUZZ_CHECK(fast[i].group.data() == engine[i].group.data() && fast[i].group.size() == engine[i].group.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t open_size = 1 + data[0] % 8, close_size = 1 + data[1] % 8;
  if (size < 2 + open_size + close_size) return 0;
  std::string open(reinterpret_cast<const char*>(data + 2), open_size);
  std::string close(reinterpret_cast<const char*>(data + 2 + open_size), close_size);
  std::string_view text(reinterpret_cast<const char*>(data + 2 + open_size + close_size),
                        size - 2 - open_size - close_size);
  std::string name;
  for (char c : open) name += static_cast<char>('a' + static_cast<unsigned char>(c) % 3);
  // Keep the literals plain, mapping metacharacters to letters, so that the fast path applies.
  for (std::string* literal : {&open, &close}) {
    for (char& c : *literal) {
      if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) c = 'a';
    }
  }
  Pattern pattern;
  FUZZ_CHECK(pattern.Compile(open + "(.*?)" + close));
  FUZZ_CHECK(pattern.is_literal_pair());
  CheckSameMatches(pattern, text);

  Pattern element;
  FUZZ_CHECK(element.CompileElement(name));
  FUZZ_CHECK(element.is_element());
  CheckSameMatches(element, text);

  Pattern tags;
  FUZZ_CHECK(tags.Compile("<[^<]*>"));
  CheckSameMatches(tags, text);
  return 0;
}
