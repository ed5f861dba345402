#include "features/network_links.h"

#include <set>

#include "document/declared_encoding.h"
#include "document/encoding.h"
#include "document/kmz.h"
#include "features/kml_values.h"
#include "features/kml_walk.h"

namespace {

constexpr int kDeepestLink = 8;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%20" and the like as the bytes they stand for.
std::string PercentDecoded(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// A document read from the archive, in the encoding of the document that links to it.
std::string DocumentIn(std::string bytes, Encoding encoding) {
  if (HasUtf16ByteOrderMark(bytes)) {
    std::string ansi = DecodeDocument(std::move(bytes), Encoding::kAnsi);
    return encoding == Encoding::kUtf8 ? AnsiToUtf8(ansi) : ansi;
  }
  if (std::string_view(bytes).substr(0, 3) == "\xEF\xBB\xBF") bytes.erase(0, 3);
  const Encoding own = ReadingEncoding(bytes, encoding);
  if (own == encoding) return bytes;
  return own == Encoding::kUtf8 ? Utf8ToAnsi(std::move(bytes)) : AnsiToUtf8(bytes);
}

struct Follower {
  std::string_view archive;
  Encoding encoding;
  std::set<std::string> visited;
  FollowedLinks* out;

  std::string Follow(const std::string& entry, std::string_view text, int depth) {
    std::string result;
    size_t copied = 0;
    for (const NetworkLink& link : FindNetworkLinks(text, encoding)) {
      const std::string target = LinkedEntry(entry, link.href);
      std::string bytes;
      if (target.empty() || ExtractEntry(archive, target, &bytes) != KmzError::kNone) {
        out->not_followed.push_back(link.href);
        continue;
      }
      if (depth >= kDeepestLink || !visited.insert(target).second) continue;  // a link back stays as it is
      ++out->followed;
      result.append(text.substr(copied, link.begin - copied));
      result += "<Folder><name>";
      result.append(link.name);
      result += "</name>\n";
      result += Follow(target, DocumentIn(std::move(bytes), encoding), depth + 1);
      result += "\n</Folder>";
      copied = link.end;
    }
    result.append(text.substr(copied));
    return result;
  }
};

}  // namespace

std::vector<NetworkLink> FindNetworkLinks(std::string_view text, Encoding encoding) {
  std::vector<NetworkLink> links;
  // The open NetworkLink, and the element that the next text belongs to.
  bool open = false;
  int depth = 0;  // of elements inside the NetworkLink
  std::string_view element;
  size_t content = 0;
  bool in_link = false;
  WalkKml(text, 0, [&](const KmlTag& tag) {
    if (tag.name == "NetworkLink") {
      if (!tag.closing && !tag.empty) {
        links.push_back({tag.begin, tag.end, {}, {}});
        open = true;
        depth = 0;
      } else if (tag.closing && open) {
        links.back().end = tag.end;
        open = false;
      }
      return;
    }
    if (!open) return;
    if (tag.closing) {
      --depth;
      if ((tag.name == "Link" || tag.name == "Url") && depth == 0) in_link = false;
      if (tag.name == element) {
        std::string_view inner = text.substr(content, tag.begin - content);
        if (element == "name" && depth == 0 && links.back().name.empty()) links.back().name = inner;
        if (element == "href" && in_link) links.back().href = CleanValue(DecodePart(inner, encoding));
        element = {};
      }
      return;
    }
    if (tag.empty) return;
    if ((tag.name == "Link" || tag.name == "Url") && depth == 0) in_link = true;
    ++depth;
    element = tag.name;
    content = tag.end;
  });
  if (open) links.back().end = text.size();
  return links;
}

std::string LinkedEntry(std::string_view from, std::string_view href) {
  std::string path = PercentDecoded(href.substr(0, href.find_first_of("?#")));
  const size_t slash = path.find('/');
  if (path.empty() || path[0] == '/' || path[0] == '\\' || path.find(':') < slash) return {};
  const size_t folder = from.rfind('/');
  std::vector<std::string> parts;
  std::string joined = (folder == std::string_view::npos ? std::string() : std::string(from.substr(0, folder + 1))) + path;
  size_t at = 0;
  while (at <= joined.size()) {
    size_t next = joined.find('/', at);
    if (next == std::string::npos) next = joined.size();
    std::string part = joined.substr(at, next - at);
    if (part == "..") {
      if (parts.empty()) return {};  // above the archive's root
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = next + 1;
  }
  std::string entry;
  for (const std::string& part : parts) entry += (entry.empty() ? "" : "/") + part;
  return entry;
}

FollowedLinks FollowLinks(std::string_view archive, const std::string& entry, std::string_view text,
                          Encoding encoding) {
  FollowedLinks followed;
  Follower follower{archive, encoding, {entry}, &followed};
  followed.text = follower.Follow(entry, text, 0);
  return followed;
}
