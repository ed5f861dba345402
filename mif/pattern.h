#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One match of a pattern in a text: views into the text that was searched.
struct ElementMatch {
  std::string_view whole;  // from the first character of the match through its last
  std::string_view group;  // capture group 1, within the match; empty when the pattern has none
};

// A compiled regular expression (perl syntax, "." matches line breaks).
//
// Never throws. A pattern that does not compile finds nothing; a search that exceeds the
// engine's limits (complexity, memory, or ten character reads per byte of text) ends with the
// matches found before it.
//
// Patterns of the shape LITERAL(.*?)LITERAL, with no metacharacter in either literal, the
// element patterns of CompileElement, and the tag pattern "<[^<]*>" are matched by scanners
// that give exactly the matches of the regular expression.
class Pattern {
 public:
  Pattern();
  ~Pattern();
  Pattern(Pattern&&) noexcept;
  Pattern& operator=(Pattern&&) noexcept;

  // Discards the previous pattern. False when `source` does not compile.
  bool Compile(std::string_view source, bool ignore_case = false);

  // Compiles ElementPatternSource(name) (mif/element_tags.h): the elements of `name`, with or
  // without a prefix and attributes.
  bool CompileElement(std::string_view name);

  bool ok() const;
  const std::string& source() const { return source_; }

  // Every match in `text`, leftmost first, each further search starting where the previous
  // match ended. FindAll("<a>1</a><a>2</a>") with "<a>(.*?)</a>" gives
  // {"<a>1</a>", "1"} and {"<a>2</a>", "2"}. `cut_short`, when given, tells whether the
  // search ended at one of the engine's limits, with only the matches found before it.
  std::vector<ElementMatch> FindAll(std::string_view text, bool* cut_short = nullptr) const;

  // The same matches found by the regular-expression engine alone, without the fast path.
  std::vector<ElementMatch> FindAllWithEngine(std::string_view text, bool* cut_short = nullptr) const;

  // For an element pattern, the element's name; otherwise empty.
  bool is_element() const { return !element_.empty(); }
  std::string_view element_name() const { return element_; }

  // For a LITERAL(.*?)LITERAL pattern, its two literals; otherwise both empty.
  bool is_literal_pair() const { return !open_.empty(); }
  std::string_view open_literal() const { return open_; }
  std::string_view close_literal() const { return close_; }

 private:
  struct Engine;
  std::unique_ptr<Engine> engine_;  // null when nothing compiled or compilation failed
  std::string source_;
  std::string open_;
  std::string close_;
  std::string element_;
  bool angle_tags_ = false;  // "<[^<]*>"
};

// Matches of open(.*?)close found by substring search; `open` and `close` must not be empty.
std::vector<ElementMatch> FindLiteralPairs(std::string_view text, std::string_view open,
                                           std::string_view close);
