// The tag index of any document, then the extraction of every item, and of item texts that the
// fuzzer makes up: patterns made from document text are the riskiest input of the program.
// Input: item texts separated by NUL bytes, then the document after the last NUL.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "tags/tag_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> items;
  size_t zero;
  while ((zero = input.find('\0')) != std::string_view::npos && items.size() < 8) {
    items.emplace_back(input.substr(0, zero));
    input.remove_prefix(zero + 1);
  }
  std::string document(input.substr(0, input.find('\0')));

  Pattern tag_pattern;
  FUZZ_CHECK(tag_pattern.Compile(kTagPattern, false));
  std::vector<std::string> index = BuildTagIndex(tag_pattern, document);
  for (const std::string& item : index) {
    FUZZ_CHECK(item.size() >= 2 && item.front() == '<' && item.back() == '>' && item[1] != '/');
  }
  for (size_t i = 0; i < index.size() && i < 32; ++i) items.push_back(index[i]);
  for (const std::string& item : items) {
    std::string result = ExtractElements(item, document);
    // Matches never overlap and groups stay within their match: at most the document, and a
    // line break around each match. An empty match may come at every position, and before
    // each non-empty one ("|b|" on "bbb"): at most 2n + 1 matches.
    FUZZ_CHECK(result.size() <= 9 * document.size() + 4);
  }
  return 0;
}
