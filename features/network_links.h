#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "document/kmz.h"
#include "document/text_io.h"

// The documents that a KMZ archive's NetworkLinks name inside the archive: a doc.kml that
// holds only links to files/a.kml and layers/b.kml is read with those documents in place of
// its links.

struct NetworkLink {
  size_t begin = 0, end = 0;  // the NetworkLink element in the text
  std::string_view name;      // the text of its <name>, as written
  std::string href;           // of its <Link><href> (or KML 2.0 <Url><href>), entities decoded
};

// The NetworkLinks of a KML text, in order.
std::vector<NetworkLink> FindNetworkLinks(std::string_view text, Encoding encoding);

// The entry of the archive that `href`, found in the entry `from`, names: resolved against
// from's folder ("files/doc.kml" and "../a.kml" give "a.kml"); empty for a link with a scheme
// (http:, https:, file:), an absolute path, or one that leaves the archive.
std::string LinkedEntry(std::string_view from, std::string_view href);

// Links of one kind that were not followed: how many, and the hrefs or entries they name,
// each once, in order.
struct LinkList {
  size_t count = 0;
  std::vector<std::string> names;
  void Add(std::string_view name);

 private:
  std::unordered_set<std::string> seen_;
};

struct FollowedLinks {
  std::string text;      // the document with the linked documents in place
  size_t followed = 0;   // links put in place
  LinkList outside;      // hrefs that lead outside the archive
  LinkList missing;      // hrefs of entries that the archive does not hold
  LinkList unreadable;   // entries that cannot be read: "files/a.kml (CRC mismatch)"
  LinkList too_deep;     // entries that no chain of 8 links or fewer reaches
};

// The text `text` of the archive's entry `entry`, read with `encoding`, with NetworkLinks to
// other entries of the archive replaced by Folders named as the links, holding those entries'
// documents (converted to `encoding`, their own links followed in turn): each entry once, at
// the first link to it of the fewest steps from `entry`, and 8 links deep at most. A link to
// an entry already in place (a link back) stays as it is. Names that share their data are one
// entry, read once. A linked document's closing tags of elements it did not open are dropped
// and the elements it leaves open are closed, so that it cannot close the linking document's
// folders.
FollowedLinks FollowLinks(std::string_view archive, const std::string& entry, std::string_view text,
                          Encoding encoding);

// A linked document as the linking one holds it: without closing tags of elements it did not
// open, and with those it leaves open closed at its end.
std::string BalancedDocument(std::string_view text);
