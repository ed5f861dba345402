#include "features/network_links.h"

#include <unordered_map>

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

// A link's name as the text of a Folder's <name>: its markup is made text (the reader cleans
// it back to what it was), so that no "</Folder>" in it can close a folder; CDATA sections,
// which hold no markup, stay as they are.
std::string NameText(std::string_view name) {
  std::string text;
  for (size_t at = 0; at < name.size();) {
    if (name.substr(at, 9) == "<![CDATA[") {
      const size_t end = name.find("]]>", at + 9);
      const size_t stop = end == std::string_view::npos ? name.size() : end + 3;
      text.append(name.substr(at, stop - at));
      at = stop;
    } else if (name[at] == '<' || name[at] == '>') {
      text += name[at++] == '<' ? "&lt;" : "&gt;";
    } else {
      text += name[at++];
    }
  }
  return text;
}

// The documents of the archive that links reach, by the offset of their data.
struct LinkedDocument {
  std::string name;  // the entry, for the links in it
  std::string text;  // in the linking document's encoding
  int depth = 0;     // links from the first document, the fewest
  bool readable = true;
  bool placed = false;
  std::vector<NetworkLink> links;
};

class Follower {
 public:
  Follower(std::string_view archive, Encoding encoding, FollowedLinks* out) : encoding_(encoding), out_(out) {
    archive_.Open(archive);
  }

  // Reads the documents that links reach, nearest first, so that each has its fewest steps.
  void Read(const std::string& entry, std::string_view text) {
    const KmzEntry* first = archive_.Find(entry);
    root_ = first ? first->local_offset : UINT32_MAX;
    LinkedDocument& root = documents_[root_];
    root.name = entry;
    root.text = std::string(text);
    root.placed = true;
    std::vector<uint32_t> queue{root_};
    for (size_t next = 0; next < queue.size(); ++next) {
      LinkedDocument& document = documents_[queue[next]];
      document.links = FindNetworkLinks(document.text, encoding_);
      for (const NetworkLink& link : document.links) {
        const std::string target = LinkedEntry(document.name, link.href);
        const KmzEntry* found = target.empty() ? nullptr : archive_.Find(target);
        if (!found) {
          (target.empty() ? out_->outside : out_->missing).Add(link.href);
          continue;
        }
        if (documents_.count(found->local_offset)) continue;
        const int depth = documents_[queue[next]].depth + 1;
        if (depth > kDeepestLink) {
          out_->too_deep.Add(target);
          continue;
        }
        LinkedDocument linked;
        linked.name = target;
        linked.depth = depth;
        std::string bytes;
        const KmzError error = archive_.Read(*found, &bytes);
        if (error != KmzError::kNone) {
          linked.readable = false;
          out_->unreadable.Add(target + " (" + KmzErrorText(error) + ")");
        } else {
          linked.text = DocumentIn(std::move(bytes), encoding_);
        }
        const bool readable = linked.readable;
        documents_.emplace(found->local_offset, std::move(linked));
        if (readable) queue.push_back(found->local_offset);
      }
    }
  }

  // The first document with the linked ones in place.
  std::string Place() { return Place(documents_[root_]); }

 private:
  static constexpr int kDeepestLink = 8;

  std::string Place(LinkedDocument& document) {
    std::string result;
    size_t copied = 0;
    for (const NetworkLink& link : document.links) {
      const std::string target = LinkedEntry(document.name, link.href);
      const KmzEntry* found = target.empty() ? nullptr : archive_.Find(target);
      auto linked = found ? documents_.find(found->local_offset) : documents_.end();
      // A link back, or one that a shorter chain reaches elsewhere, stays as it is.
      if (linked == documents_.end() || !linked->second.readable || linked->second.placed ||
          linked->second.depth != document.depth + 1) {
        continue;
      }
      linked->second.placed = true;
      ++out_->followed;
      result.append(document.text, copied, link.begin - copied);
      result += "<Folder><name>";
      result += NameText(link.name);
      result += "</name>\n";
      result += BalancedDocument(Place(linked->second));
      result += "\n</Folder>";
      copied = link.end;
    }
    result.append(document.text, copied);
    return result;
  }

  KmzArchive archive_;
  Encoding encoding_;
  FollowedLinks* out_;
  uint32_t root_ = 0;
  std::unordered_map<uint32_t, LinkedDocument> documents_;
};

}  // namespace

std::vector<NetworkLink> FindNetworkLinks(std::string_view text, Encoding encoding) {
  std::vector<NetworkLink> links;
  // The elements open inside the open NetworkLink, where their content begins, and how many
  // of each name: a closing tag of none of them is passed over, as the reader passes it.
  struct Inside {
    std::string_view name;
    size_t content;
  };
  bool open = false;
  std::vector<Inside> inside;
  std::unordered_map<std::string_view, size_t> open_names;
  WalkKml(text, 0, [&](const KmlTag& tag) {
    if (tag.name == "NetworkLink") {
      if (!tag.closing && !tag.empty) {
        links.push_back({tag.begin, tag.end, {}, {}});
        open = true;
        inside.clear();
        open_names.clear();
      } else if (tag.closing && open) {
        links.back().end = tag.end;
        open = false;
      }
      return;
    }
    if (!open || tag.empty) return;
    if (!tag.closing) {
      inside.push_back({tag.name, tag.end});
      ++open_names[tag.name];
      return;
    }
    auto count = open_names.find(tag.name);
    if (count == open_names.end() || count->second == 0) return;
    size_t at = inside.size();
    while (inside[--at].name != tag.name) {
    }
    const std::string_view content = text.substr(inside[at].content, tag.begin - inside[at].content);
    if (tag.name == "name" && at == 0 && links.back().name.empty()) links.back().name = content;
    if (tag.name == "href" && at > 0 && (inside[0].name == "Link" || inside[0].name == "Url")) {
      links.back().href = CleanValue(DecodePart(content, encoding));
    }
    for (size_t i = at; i < inside.size(); ++i) --open_names[inside[i].name];
    inside.resize(at);
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

void LinkList::Add(std::string_view name) {
  ++count;
  if (seen_.emplace(name).second) names.emplace_back(name);
}

FollowedLinks FollowLinks(std::string_view archive, const std::string& entry, std::string_view text,
                          Encoding encoding) {
  FollowedLinks followed;
  Follower follower(archive, encoding, &followed);
  follower.Read(entry, text);
  followed.text = follower.Place();
  return followed;
}

std::string BalancedDocument(std::string_view text) {
  std::vector<std::string_view> open;
  std::unordered_map<std::string_view, size_t> open_names;
  std::string balanced;
  size_t copied = 0;
  WalkKml(text, 0, [&](const KmlTag& tag) {
    if (tag.empty) return;
    if (!tag.closing) {
      open.push_back(tag.name);
      ++open_names[tag.name];
      return;
    }
    auto it = open_names.find(tag.name);
    if (it == open_names.end() || it->second == 0) {
      balanced.append(text.substr(copied, tag.begin - copied));  // a closing tag of nothing it opened
      copied = tag.end;
      return;
    }
    // It closes the innermost of its name, and those opened after it.
    for (std::string_view name = {}; name != tag.name;) {
      name = open.back();
      open.pop_back();
      --open_names[name];
    }
  });
  balanced.append(text.substr(copied));
  for (size_t i = open.size(); i-- > 0;) {
    balanced += "</";
    balanced.append(open[i]);
    balanced += ">";
  }
  return balanced;
}
