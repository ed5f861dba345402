#include "mif/pattern.h"

#include <boost/regex.hpp>

#include <exception>

namespace {

constexpr std::string_view kLazyGroup = "(.*?)";
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
  compiled_ = true;

  auto flags = boost::regex::perl | boost::regex::mod_s;
  if (ignore_case) flags |= boost::regex::icase;
  try {
    auto engine = std::make_unique<Engine>();
    engine->regex.assign(source.begin(), source.end(), flags);
    engine_ = std::move(engine);
  } catch (const std::exception&) {
    return false;  // a pattern made from document text may be anything
  }

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

bool Pattern::ok() const { return engine_ != nullptr; }

std::vector<ElementMatch> Pattern::FindAll(std::string_view text) const {
  if (is_literal_pair()) return FindLiteralPairs(text, open_, close_);
  return FindAllWithEngine(text);
}

std::vector<ElementMatch> Pattern::FindAllWithEngine(std::string_view text) const {
  std::vector<ElementMatch> found;
  if (!engine_) return found;
  try {
    boost::cregex_iterator it(text.data(), text.data() + text.size(), engine_->regex);
    for (const boost::cregex_iterator end; it != end; ++it) {
      const auto& m = *it;
      ElementMatch match;
      match.whole = std::string_view(m[0].first, static_cast<size_t>(m[0].length()));
      if (m.size() > 1 && m[1].matched) {
        match.group = std::string_view(m[1].first, static_cast<size_t>(m[1].length()));
      }
      found.push_back(match);
    }
  } catch (const std::exception&) {
    // Complexity or memory limit reached: keep what was found before it.
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
