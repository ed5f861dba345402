// The documents that a KMZ archive's NetworkLinks name: each reached by its fewest steps and
// read once, every link that is not followed told, and no linked document able to close the
// folders of the one that links to it.
#include "features/network_links.h"

#include <gtest/gtest.h>

#include "features/feature_export.h"
#include "tests/zip_writer.h"

namespace {

std::string Link(const std::string& href, const std::string& name = "") {
  std::string link = "<NetworkLink><name>";
  return link.append(name).append("</name><Link><href>").append(href).append("</href></Link></NetworkLink>");
}

std::string Placemark(const std::string& name) {
  std::string placemark = "<Placemark><name>";
  return placemark.append(name).append("</name><Point><coordinates>1,2</coordinates></Point></Placemark>");
}

FollowedLinks Follow(const std::vector<ZipEntry>& entries) {
  const std::string zip = MakeZip(entries);
  return FollowLinks(zip, entries[0].name, entries[0].data, Encoding::kAnsi);
}

// The MID rows (name and folder) of the followed document.
std::string Rows(const std::string& text) {
  ConversionOptions options;
  options.attributes = true;
  std::string decoded;
  return ConvertInMemory(SourceOf(text, Encoding::kAnsi, &decoded), options).mid;
}

}  // namespace

TEST(Links, EachEntryIsPlacedOnceByItsFewestSteps) {
  // A chain of ten, and a link from the first document to the eighth: the eighth is placed
  // there, one step away, and the chain goes on from it to the tenth.
  std::vector<ZipEntry> entries{{"doc.kml", "<kml><Document>" + Link("c1.kml", "chain") + Link("c8.kml", "eight") +
                                                "</Document></kml>"}};
  auto name = [](const char* prefix, int i) { return std::string(prefix).append(std::to_string(i)); };
  for (int i = 1; i <= 10; ++i) {
    const std::string next = i < 10 ? Link(name("c", i + 1) + ".kml", name("c", i + 1)) : "";
    entries.push_back({name("c", i) + ".kml", "<kml>" + Placemark(name("p", i)) + next + "</kml>"});
  }
  FollowedLinks followed = Follow(entries);
  EXPECT_EQ(followed.followed, 10u);
  EXPECT_EQ(followed.too_deep.count, 0u);
  const std::string rows = Rows(followed.text);
  EXPECT_NE(rows.find("\"p7\",\"\",\"chain/c2/c3/c4/c5/c6/c7\""), std::string::npos) << rows;
  EXPECT_NE(rows.find("\"p10\",\"\",\"eight/c9/c10\""), std::string::npos) << rows;
  // Without the short way, what lies more than 8 links away is told.
  entries[0].data = "<kml>" + Link("c1.kml") + "</kml>";
  followed = Follow(entries);
  EXPECT_EQ(followed.followed, 8u);
  EXPECT_EQ(followed.too_deep.names, std::vector<std::string>{"c9.kml"});
}

TEST(Links, WhatIsNotFollowedIsToldWithItsReason) {
  std::string doc = "<kml>" + Link("gone.kml") + Link("bad.kml") + Link("https://example.org/a.kml") + Link("doc.kml");
  for (int i = 0; i < 10000; ++i) doc += Link("many.kml");
  const FollowedLinks followed =
      Follow({{"doc.kml", doc + "</kml>"}, {"bad.kml", "<kml/>", true, false, 0, -1, -1, 0x1234}});
  EXPECT_EQ(followed.followed, 0u);  // the link back stays as it is
  EXPECT_EQ(followed.missing.count, 10001u);
  EXPECT_EQ(followed.missing.names, (std::vector<std::string>{"gone.kml", "many.kml"}));
  EXPECT_EQ(followed.unreadable.names,
            std::vector<std::string>{"bad.kml (the KML file in the KMZ archive is damaged (CRC mismatch))"});
  EXPECT_EQ(followed.outside.names, std::vector<std::string>{"https://example.org/a.kml"});
}

TEST(Links, ALinkedDocumentCannotCloseTheFoldersAroundItsLink) {
  const std::string doc = "<kml><Document><Folder><name>outer</name>" + Link("a.kml", "a</Folder>b") +
                          Placemark("after") + "</Folder></Document></kml>";
  const std::string linked = "<kml><Document>" + Placemark("inside") + "</Folder></Document></kml></Folder><Folder>";
  const FollowedLinks followed = Follow({{"doc.kml", doc}, {"a.kml", linked}});
  EXPECT_EQ(Rows(followed.text), "\"inside\",\"\",\"outer/a</Folder>b\"\r\n\"after\",\"\",\"outer\"\r\n");
}

TEST(Links, ALinkBackIsNeverReadAgain) {
  // Ten thousand links back to the document itself: it was inflated again for each (minutes).
  std::string doc = "<kml>" + Placemark("p") + std::string(1 << 20, ' ');
  for (int i = 0; i < 10000; ++i) doc += Link("doc.kml");
  const FollowedLinks followed = Follow({{"doc.kml", doc + "</kml>"}});
  EXPECT_EQ(followed.followed, 0u);
  EXPECT_EQ(followed.text.size(), doc.size() + 6);
}

TEST(Links, NamesThatShareTheirDataAreOneEntryReadOnce) {
  ZipEntry shared{"a.kml", "<kml>" + Placemark("p") + "</kml>"};
  shared.also_named = {"b.kml", "c.kml"};
  const FollowedLinks followed =
      Follow({{"doc.kml", "<kml>" + Link("a.kml") + Link("b.kml") + Link("c.kml") + "</kml>"}, shared});
  EXPECT_EQ(followed.followed, 1u);
  EXPECT_EQ(Rows(followed.text), "\"p\",\"\",\"\"\r\n");
}
