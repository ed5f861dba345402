#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

struct FollowedLinks {
  std::string text;                      // the document with the linked documents in place
  size_t followed = 0;                   // links put in place
  std::vector<std::string> not_followed;  // hrefs that lead outside the archive, in order
};

// The text `text` of the archive's entry `entry`, read with `encoding`, with each NetworkLink
// to another entry of the archive replaced by a Folder named as the link, holding that entry's
// document (converted to `encoding`, its own links followed in turn): 8 links deep at most,
// each entry once, so that a link back is left as it is.
FollowedLinks FollowLinks(std::string_view archive, const std::string& entry, std::string_view text,
                          Encoding encoding);
