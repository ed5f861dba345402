// The export and the tag index of a file's own bytes give exactly what the converted document gives.
#include "mif/file_export.h"

#include <gtest/gtest.h>

#include <random>

#include "mif/mif_export.h"
#include "tags/tag_index.h"
#include "tests/test_support.h"

namespace {

std::string Reference(const std::string& bytes, Encoding encoding) {
  GeometryState state;
  return BuildMifText(state, MakeDocument(DecodeDocument(bytes, encoding)));
}

std::string Exported(const std::string& bytes, Encoding encoding, int threads = 1) {
  std::string decoded, mif;
  ExportSource source = SourceOf(bytes, encoding, &decoded);
  EXPECT_TRUE(ExportMif(source, threads, [&](std::string_view piece) {
    mif.append(piece);
    return true;
  }));
  return mif;
}

void ExpectSameExport(const std::string& bytes, const std::string& what) {
  for (Encoding encoding : {Encoding::kUtf8, Encoding::kAnsi}) {
    Pattern tag_pattern;
    tag_pattern.Compile(kTagPattern);
    std::string decoded_file;
    std::vector<std::string> items;
    ExportSource file = SourceOf(bytes, encoding, &decoded_file);
    ForEachTagItemOfFile(file.text, file.encoding, [&](std::string_view item) { items.emplace_back(item); });
    ASSERT_EQ(items, BuildTagIndex(tag_pattern, DecodeDocument(bytes, encoding))) << what;

    std::string expected = Reference(bytes, encoding);
    ASSERT_TRUE(Exported(bytes, encoding) == expected) << what << (encoding == Encoding::kUtf8 ? " utf-8" : " ansi");
    std::string decoded;
    ExportSource source = SourceOf(bytes, encoding, &decoded);
    GeometryState state;
    DocumentText document = MakeDocument(DecodeDocument(bytes, encoding));
    std::array<size_t, 3> counts = CountGeometry(source, 2);
    for (GeometryKind kind : {GeometryKind::kPoint, GeometryKind::kLine, GeometryKind::kPolygon}) {
      ASSERT_EQ(counts[static_cast<size_t>(kind)], ElementSearch(state, kind, document).size()) << what;
    }
  }
}

}  // namespace

TEST(FileExport, EqualsTheConvertedDocumentsExportOnTheCorpus) {
  for (const auto& kml : CorpusFiles()) ExpectSameExport(ReadFileBytes(kml), kml.filename().string());
}

TEST(FileExport, EqualsItOnFieldsThatNeedConverting) {
  using namespace std::string_literals;
  const std::string cases[] = {
      "<Point><coordinates>\xE4\xB8\xAD,39.9</coordinates></Point>"s,        // UTF-8 in a field
      "<Point><coordinates>1\xD6\xD0,2\xD6</coordinates></Point>"s,            // GBK, a broken lead
      "<LineString><coordinates>1,2\x81 3,\xFF\x80 5,6\xF0\x9F\x98\x80</coordinates></LineString>"s,
      "<LinearRing><coordinates>\xEF\xBB\xBF" "1,2 3,4\xE4\xB8</coordinates></LinearRing>"s,
      "\xEF\xBB\xBF<Point><coordinates>1,2</coordinates></Point>"s,            // a byte-order mark
      "<Point><coordinates>1,2</coordinates></Point>\0<Point><coordinates>3,4</coordinates></Point>"s,
      "\xFF\xFE<\0P\0o\0i\0n\0t\0>\0<\0c\0o\0o\0r\0d\0i\0n\0a\0t\0e\0s\0>\0" "1\0,\0" "2\0<\0/\0c\0o\0o\0r\0"
      "d\0i\0n\0a\0t\0e\0s\0>\0<\0/\0P\0o\0i\0n\0t\0>\0"s,                   // UTF-16
  };
  for (const std::string& c : cases) ExpectSameExport(c, c);
}

TEST(FileExport, EqualsItOnGeneratedDocuments) {
  // Pieces of elements, tags cut by the end of their element, long tuples, blanks of all
  // kinds and bytes above 0x7F, in random order.
  std::mt19937 random(2026);
  const char* const pieces[] = {"<Point>", "</Point>", "<LineString>", "</LineString>", "<LinearRing id=\"r\">",
                                "</LinearRing>", "<coordinates>", "</coordinates>", "<coordinates", "</coordinates",
                                "<kml:coordinates>", "<Pt:Point>", "<c:coordinates>", "</Ln:LineString >",
                                "<averyveryverylongprefix:Point>", "</averyveryverylongprefix:Point>", "<Point:Point>",
                                "</Point:LineString>", "a:LinearRing>", "Po", "Li", ">", "<", " ", "\t", "\r\n", "\f", "1,2", "116.123456,39.1,0",
                                ",", "3,", ",4", "\xD6\xD0,5", "6,\xE4\xB8\xAD", "\x81", "12345678901234567890,1"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int n = static_cast<int>(random() % 40); n > 0; --n) text += pieces[random() % std::size(pieces)];
    ExpectSameExport(text, text);
  }
  ExpectSameExport(GenerateKml(300, 50), "generated");
  ExpectSameExport(GenerateKml(300, 50, /*full_precision=*/true), "generated with full precision");
}

TEST(FileExport, LargeFilesGiveTheSameTextOnSeveralThreads) {
  std::string kml = GenerateKml(12000, 20);  // about 13 MB: scanned in blocks, records in chunks
  ASSERT_GT(kml.size(), size_t{8} << 20);
  std::string expected = Reference(kml, Encoding::kUtf8);
  EXPECT_TRUE(Exported(kml, Encoding::kUtf8, 2) == expected);
  EXPECT_TRUE(Exported(kml, Encoding::kUtf8, 3) == expected);
  const std::string full = GenerateKml(6000, 20, /*full_precision=*/true);
  EXPECT_TRUE(Exported(full, Encoding::kUtf8, 2) == Reference(full, Encoding::kUtf8));
  std::string decoded;
  GeometryState state;
  const std::array<size_t, 3> counts = CountGeometry(SourceOf(kml, Encoding::kUtf8, &decoded), 2);
  const DocumentText document = MakeDocument(DecodeDocument(kml, Encoding::kUtf8));
  for (GeometryKind kind : {GeometryKind::kPoint, GeometryKind::kLine, GeometryKind::kPolygon}) {
    EXPECT_EQ(counts[static_cast<size_t>(kind)], ElementSearch(state, kind, document).size());
  }
}

TEST(FileExport, TheFirstVertexLeftOutIsTheFirstInTheDocumentAlsoBeforeAJoinedText) {
  // The ring's coordinates run past its element into the next one: they are read in the
  // joined text, whose places come after the document's.
  const std::string kml = "<LineString><coordinates>x,1</coordinates></LineString><LinearRing><coordinates>y,6 "
                          "</LinearRing><LinearRing></coordinates>L</LinearRing>";
  std::string decoded;
  RecordReport report;
  ExportMif(SourceOf(kml, Encoding::kAnsi, &decoded), 1, [](std::string_view) { return true; }, &report);
  EXPECT_EQ(report.left_out.no_number, 2u);
  EXPECT_EQ(report.left_out.first, "x,1");
}
