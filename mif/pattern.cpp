#include "mif/pattern.h"

#include "mif/byte_scan.h"
#include "mif/element_tags.h"

#include <boost/regex.hpp>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <iterator>

namespace {

constexpr std::string_view kLazyGroup = "(.*?)";
constexpr std::string_view kAngleTags = "<[^<]*>";

// Boost gives up on a runaway search only after about N*S*S steps for a text of N bytes and a
// pattern of S states: over a minute for a pattern such as "<(a+)+b>" on a 5 MB document. The
// engine therefore reads the text through this iterator, which charges every character read
// and ends the search when a budget proportional to the text is spent. Between two reads the
// matcher passes at most about one state per group and alternative of the pattern, so a read
// costs 1 plus their number: a tag made of thousands of empty groups spends its budget as fast
// as it works. Linear searches of ordinary tags read 1 to 3 characters per byte (measured on
// real KML) at a cost of 2 each; the budget allows 20 per byte.
class BudgetExceeded : public std::exception {
 public:
  const char* what() const noexcept override { return "search budget exceeded"; }
};

thread_local uint64_t budget_left = 0;
thread_local uint64_t cost_per_read = 1;

class CountingIterator {
 public:
  using iterator_category = std::random_access_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator() = default;
  explicit CountingIterator(const char* p) : p_(p) {}
  const char* get() const { return p_; }

  reference operator*() const {
    if (budget_left < cost_per_read) throw BudgetExceeded();
    budget_left -= cost_per_read;
    return *p_;
  }
  reference operator[](difference_type n) const { return *(*this + n); }
  CountingIterator& operator++() { ++p_; return *this; }
  CountingIterator operator++(int) { CountingIterator old = *this; ++p_; return old; }
  CountingIterator& operator--() { --p_; return *this; }
  CountingIterator operator--(int) { CountingIterator old = *this; --p_; return old; }
  CountingIterator& operator+=(difference_type n) { p_ += n; return *this; }
  CountingIterator& operator-=(difference_type n) { p_ -= n; return *this; }
  friend CountingIterator operator+(CountingIterator i, difference_type n) { return i += n; }
  friend difference_type operator-(CountingIterator a, CountingIterator b) { return a.p_ - b.p_; }
  friend bool operator==(CountingIterator a, CountingIterator b) = default;

 private:
  const char* p_ = nullptr;
};

uint64_t SearchBudget(size_t text_size) { return 20 * static_cast<uint64_t>(text_size) + 30'000'000; }

uint64_t CostPerRead(std::string_view source) {
  uint64_t cost = 1;
  for (char c : source) cost += c == '(' || c == '|';
  return cost;
}

// A group inside a lookahead or lookbehind can reach outside its match: "<a(?=(.*))>" captures
// the rest of the text at every match, without reading it, so the matches' groups would add up
// to the square of the text. Only the part within the match is kept; matches never overlap,
// so their groups never add up to more than the text.
std::string_view GroupWithinMatch(const char* first, const char* last, std::string_view whole) {
  const char* const begin = std::max(first, whole.data());
  const char* const end = std::min(last, whole.data() + whole.size());
  return begin < end ? std::string_view(begin, static_cast<size_t>(end - begin)) : std::string_view(begin, 0);
}

constexpr std::string_view kMetacharacters = "\\^$.|?*+()[]{}";

bool IsPlainLiteral(std::string_view s) {
  return !s.empty() && s.find_first_of(kMetacharacters) == std::string_view::npos;
}

}  // namespace

struct Pattern::Engine {
  boost::regex regex;
};

Pattern::Pattern() = default;
Pattern::~Pattern() = default;
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;

bool Pattern::Compile(std::string_view source, bool ignore_case) {
  engine_.reset();
  source_.assign(source);
  open_.clear();
  close_.clear();
  element_.clear();
  angle_tags_ = false;

  auto flags = boost::regex::perl | boost::regex::mod_s;
  if (ignore_case) flags |= boost::regex::icase;
  try {
    auto engine = std::make_unique<Engine>();
    engine->regex.assign(source.begin(), source.end(), flags);
    engine_ = std::move(engine);
  } catch (const std::exception&) {
    return false;  // a pattern made from document text may be anything
  }

  angle_tags_ = !ignore_case && source == kAngleTags;
  size_t group = source.find(kLazyGroup);
  if (!ignore_case && group != std::string_view::npos) {
    std::string_view open = source.substr(0, group);
    std::string_view close = source.substr(group + kLazyGroup.size());
    if (IsPlainLiteral(open) && IsPlainLiteral(close)) {
      open_.assign(open);
      close_.assign(close);
    }
  }
  return true;
}

bool Pattern::CompileElement(std::string_view name) {
  if (!Compile(ElementPatternSource(name))) return false;
  element_.assign(name);
  return true;
}

bool Pattern::ok() const { return engine_ != nullptr; }

std::vector<ElementMatch> Pattern::FindAll(std::string_view text, bool* cut_short) const {
  if (cut_short) *cut_short = false;
  if (is_element()) return FindNamedElements(text, element_);
  if (angle_tags_) {
    std::vector<ElementMatch> found;
    ForEachAngleTag(text, [&](size_t begin, size_t end) { found.push_back({text.substr(begin, end - begin), {}}); });
    return found;
  }
  if (is_literal_pair()) return FindLiteralPairs(text, open_, close_);
  return FindAllWithEngine(text, cut_short);
}

std::vector<ElementMatch> Pattern::FindAllWithEngine(std::string_view text, bool* cut_short) const {
  if (cut_short) *cut_short = false;
  std::vector<ElementMatch> found;
  if (!engine_) return found;
  budget_left = SearchBudget(text.size());
  cost_per_read = CostPerRead(source_);
  try {
    using Iterator = boost::regex_iterator<CountingIterator>;
    Iterator it(CountingIterator(text.data()), CountingIterator(text.data() + text.size()), engine_->regex);
    for (const Iterator end; it != end; ++it) {
      const auto& m = *it;
      ElementMatch match;
      match.whole = std::string_view(m[0].first.get(), static_cast<size_t>(m[0].length()));
      if (m.size() > 1 && m[1].matched) match.group = GroupWithinMatch(m[1].first.get(), m[1].second.get(), match.whole);
      found.push_back(match);
    }
  } catch (const std::exception&) {
    // Budget, complexity or memory limit reached: keep what was found before it.
    if (cut_short) *cut_short = true;
  }
  return found;
}

std::vector<ElementMatch> FindLiteralPairs(std::string_view text, std::string_view open,
                                           std::string_view close) {
  std::vector<ElementMatch> found;
  size_t from = 0;
  for (;;) {
    size_t start = text.find(open, from);
    if (start == std::string_view::npos) break;
    size_t inner = start + open.size();
    size_t stop = text.find(close, inner);
    // No closing literal after this opening one means none after any later one either.
    if (stop == std::string_view::npos) break;
    size_t end = stop + close.size();
    found.push_back({text.substr(start, end - start), text.substr(inner, stop - inner)});
    from = end;
  }
  return found;
}
