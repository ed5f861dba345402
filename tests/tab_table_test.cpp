#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tab/map_file.h"
#include "tab/mif_objects.h"
#include "tab/object_pieces.h"
#include "tab/tab_table.h"

namespace {

constexpr char kMif[] =
    "Version   300\r\nCharset \"WindowsSimpChinese\"\r\nDelimiter \",\"\r\nCoordSys Earth Projection 1, 104\r\n"
    "Columns 2\r\n  名称 Char(4)\r\n  N Integer\r\nData\r\n\r\n"
    "Point 116.391 39.907\r\n    Symbol (35,255,12)\r\n"
    "Pline Multiple 2\r\n  3\r\n116.1 39.1\r\n116.2 39.2\r\n116.3 39.15\r\n  2\r\n116.4 39.4\r\n116.5 39.5\r\n"
    "    Pen (3,2,16711680)\r\n"
    "Region  2 \r\n  5\r\n116 39\r\n117 39\r\n117 40\r\n116 40\r\n116 39\r\n"
    "  4\r\n116.2 39.2\r\n116.4 39.2\r\n116.4 39.4\r\n116.2 39.2\r\n    Pen (1,2,0)\r\n    Brush (2,65280)\r\n"
    "None\r\n";
constexpr char kMid[] = "\"点甲\",7\r\n\"线\",\r\n\"面\",-3\r\n\"空\",1\r\n";

std::string Hex(std::string_view bytes) {
  std::string hex;
  char two[3];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", c);
    hex += two;
  }
  return hex;
}

uint64_t Digest(std::string_view bytes) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

template <typename T>
T At(const std::string& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

TabFiles TableOf(std::string_view mif, std::string_view mid, TabReport* report) {
  TabFiles files;
  EXPECT_TRUE(TabTableInMemory(mif, &mid, 2, &files, report)) << report->error;
  return files;
}

}  // namespace

TEST(TabTable, ASmallTableIsWrittenByteForByte) {
  TabReport report;
  const TabFiles files = TableOf(kMif, kMid, &report);
  EXPECT_EQ(files.tab,
            "!table\r\n!version 300\r\n!charset WindowsSimpChinese\r\n\r\nDefinition Table\r\n"
            "  Type NATIVE Charset \"WindowsSimpChinese\"\r\n  Fields 2\r\n    名称 Char (4) ;\r\n    N Integer ;\r\n");
  // A dBase header of 2 fields of type C (the TAB file types them), then the rows: the GBK
  // name padded with zeros, the Integer in four bytes (0 where the MID had none).
  EXPECT_EQ(Hex(files.dat),
            "036401010400000061000900000000000000000000000000000000000000000"
            "0c3fbb3c6000000000000004300000000040000000000000000000000000000"
            "004e000000000000000000004300000000040000000000000000000000000000"
            "000d20b5e3bcd70700000020cfdf00000000000020c3e60000fdffffff20bfd5"
            "0000010000001a");
  // The objects' addresses in the MAP file; none for the None row.
  EXPECT_EQ(Hex(files.id), "14060000220600004a06000000000000");
  ASSERT_EQ(files.map.size(), 3072u);
  EXPECT_EQ(At<int32_t>(files.map, 0x100), 42424242);
  EXPECT_EQ(files.map[0x614], 0x02);  // a point,
  EXPECT_EQ(files.map[0x622], 0x26);  // a polyline of sections,
  EXPECT_EQ(files.map[0x64a], 0x0e);  // a region, each of version 300
  EXPECT_EQ(At<int16_t>(files.map, 0x64a + 13), 2);  // of two rings, the first with one hole:
  const int32_t rings = At<int32_t>(files.map, 0x64a + 5);
  EXPECT_EQ(At<int16_t>(files.map, rings + 2), 1);
  EXPECT_EQ(At<int16_t>(files.map, rings + 24 + 2), 0);
  // One pen each for the polyline and the region, one brush, one symbol.
  EXPECT_EQ(Hex(files.map.substr(0x164, 3)), "020101");
  EXPECT_EQ(Digest(files.map), 17065591223557039389u);
  EXPECT_EQ(report.quantum, 9e-8);
  EXPECT_EQ(report.rows, 4u);
}

TEST(TabTable, AVertexBeyondTheEarthWidensTheGridInsteadOfMovingIt) {
  std::string mif = kMif;
  mif.replace(mif.find("Point 116.391"), 13, "Point 200.5");
  TabReport report;
  const TabFiles files = TableOf(mif, kMid, &report);
  ASSERT_EQ(files.map.size(), 3072u);
  const double scale = At<double>(files.map, 0x170), displacement = At<double>(files.map, 0x180);
  EXPECT_NEAR((At<int32_t>(files.map, 0x614 + 5) - displacement) / scale, 200.5, report.quantum);
  EXPECT_GT(report.quantum, 9e-8);
  EXPECT_LT(report.quantum, 1e-7);
}

TEST(TabTable, ACollectionOfVersion800HasTheSectionHeadersThatGdalReads) {
  // 32,768 sections are more than version 650 holds. Each part's data is its label point and
  // bounds, then its section headers of 28 bytes, then its vertices.
  std::string mif =
      "Version   800\r\nCharset \"WindowsSimpChinese\"\r\nDelimiter \",\"\r\nCoordSys Earth Projection 1, 104\r\n"
      "Columns 1\r\n  N Char(1)\r\nData\r\n\r\nCollection 2\r\n  Pline Multiple 32768\r\n";
  for (int s = 0; s < 32768; ++s) mif += "  2\r\n1 2\r\n3 4\r\n";
  mif += "    Pen (1,2,0)\r\n  Multipoint 1\r\n5 6\r\n    Symbol (35,0,12)\r\n";
  TabReport report;
  const TabFiles files = TableOf(mif, "\"a\"\r\n", &report);
  EXPECT_EQ(report.version, 800);
  EXPECT_EQ(files.tab.substr(0, 22), "!table\r\n!version 800\r\n");
  const int32_t object = At<int32_t>(files.id, 0);
  ASSERT_GT(object, 0);
  EXPECT_EQ(static_cast<uint8_t>(files.map[static_cast<size_t>(object)]), 0x47);
  EXPECT_EQ(At<int32_t>(files.map, static_cast<size_t>(object) + 25), 32768);  // sections, in 4 bytes
  const size_t data = static_cast<size_t>(At<int32_t>(files.map, static_cast<size_t>(object) + 5));
  EXPECT_EQ(At<int32_t>(files.map, data + 24), 2);      // the first section's vertices,
  EXPECT_EQ(At<int32_t>(files.map, data + 28), 0);      // its holes, in 4 bytes,
  EXPECT_EQ(At<int32_t>(files.map, data + 48), 28 * 32768);  // and where its vertices begin
}

TEST(TabTable, ALineOrRegionOfMoreThan32767NodesIsOfVersion450) {
  // A line of one section is then a multiple line of 450; a region is the region of 450.
  std::string mif =
      "Version   450\r\nCharset \"WindowsSimpChinese\"\r\nDelimiter \",\"\r\nCoordSys Earth Projection 1, 104\r\n"
      "Columns 1\r\n  N Char(1)\r\nData\r\n\r\n";
  for (const char* object : {"Pline 32768\r\n", "Region 1\r\n  32768\r\n"}) {
    mif += object;
    for (int v = 0; v < 32768; ++v) mif += std::to_string(v % 2) + " " + std::to_string(v / 2 % 2) + "\r\n";
  }
  TabReport report;
  const TabFiles files = TableOf(mif, "\"a\"\r\n\"b\"\r\n", &report);
  EXPECT_EQ(report.version, 450);
  EXPECT_EQ(files.tab.substr(0, 22), "!table\r\n!version 450\r\n");
  ASSERT_EQ(files.id.size(), 8u);
  EXPECT_EQ(static_cast<uint8_t>(files.map.at(static_cast<size_t>(At<int32_t>(files.id, 0)))), 0x32);
  EXPECT_EQ(static_cast<uint8_t>(files.map.at(static_cast<size_t>(At<int32_t>(files.id, 4)))), 0x2f);
}

TEST(TabTable, PiecesOfTheTextEndWhereObjectsEndAndAreReadBackInTheirOrder) {
  // The parts of a collection, its counts and styles are indented: no piece ends before them.
  std::string body = std::string(kMif).substr(std::string(kMif).find("Point"));
  body += "Collection 2\r\n  Region  1 \r\n  4\r\n1 1\r\n2 1\r\n2 2\r\n1 1\r\n    Pen (1,2,0)\r\n"
          "    Brush (2,65280)\r\n  Multipoint 2\r\n5 6\r\n7 8\r\n    Symbol (35,0,12)\r\n";
  std::string text;
  for (int i = 0; i < 40; ++i) text += body;
  std::vector<MifObject> expected;
  LineReader lines(text);
  std::string error;
  for (MifObject object; ReadMifObject(lines, &object, &error);) expected.push_back(object);
  ASSERT_EQ(expected.size(), 200u) << error;

  MapFrame frame;
  ASSERT_TRUE(FrameOfCoordSys("Earth Projection 1, 104", &frame));
  BodyPieces pieces(ReadOf(text), "", 1);
  PieceReading reading(2, frame);
  std::string piece, joined;
  size_t given = 0;
  while (pieces.Next(&piece)) {
    joined += piece;
    reading.Give(piece);
    ++given;
  }
  EXPECT_EQ(joined, text);
  EXPECT_EQ(given, expected.size());  // one object each
  ReadPiece read;
  size_t o = 0;
  while (reading.Take(&read)) {
    ASSERT_TRUE(read.error.empty()) << read.error;
    for (size_t i = 0; i < read.objects.size(); ++i, ++o) {
      ASSERT_LT(o, expected.size());
      ASSERT_EQ(read.objects[i].parts.size(), expected[o].parts.size()) << o;
      for (size_t p = 0; p < expected[o].parts.size(); ++p) EXPECT_EQ(read.objects[i].parts[p].xy, expected[o].parts[p].xy) << o;
    }
  }
  EXPECT_EQ(o, expected.size());
}

TEST(TabTable, EveryCoordinateIsReadAsTheNearestDouble) {
  // Of every length of digits before and after the point, signs, and forms that only a full
  // reading takes (exponents, 16 digits and more).
  std::vector<std::string> numbers;
  uint64_t seed = 12345;
  for (int before = 0; before <= 10; ++before) {
    for (int after = 0; after <= 10; ++after) {
      if (before + after == 0) continue;
      std::string n = seed % 2 ? "-" : "";
      for (int d = 0; d < before; ++d) n += static_cast<char>('0' + (seed = seed * 6364136223846793005u + 1) % 10);
      if (after > 0 || seed % 3 == 0) n += '.';
      for (int d = 0; d < after; ++d) n += static_cast<char>('0' + (seed = seed * 6364136223846793005u + 1) % 10);
      numbers.push_back(n);
    }
  }
  for (const char* n : {"1e3", "-2.5E-4", "0.12345678901234567", "123456789.123456789", "39446479.745", "0", "-0.5",
                        "+1.5", "+.25", "-.5", "+1e3", "+12345678901234567",
                        // 16 to 19 digits, as Google Earth writes them, and beside powers of two, where
                        // the double below is nearer than the one above.
                        "116.46594720843391", "-39.796057200963281", "4503599627370497.5", "1.9999999999999998",
                        "2.0000000000000004", "0.99999999999999994", "0.0009765625000000001", "0.0010000000000000000"}) {
    numbers.push_back(n);
  }
  for (int i = 0; i < 2000; ++i) {
    char text[40];
    double near = std::ldexp(1.0, static_cast<int>((seed = seed * 6364136223846793005u + 1) >> 58) - 10);
    for (int step = static_cast<int>(seed >> 40) % 5 - 2; step != 0; step += step < 0 ? 1 : -1) {
      near = std::nextafter(near, step < 0 ? 0.0 : 1e300);
    }
    std::snprintf(text, sizeof text, "%.*f", static_cast<int>(seed >> 20) % 17, near);
    numbers.push_back(text);
  }
  if (numbers.size() % 2) numbers.push_back("7");
  std::string mif =
      "Version   300\r\nCharset \"WindowsSimpChinese\"\r\nDelimiter \",\"\r\nCoordSys Earth Projection 1, 104\r\n"
      "Columns 1\r\n  N Char(1)\r\nData\r\n\r\nPline " +
      std::to_string(numbers.size() / 2) + "\r\n";
  for (size_t i = 0; i < numbers.size(); i += 2) mif += numbers[i] + " " + numbers[i + 1] + "\r\n";
  LineReader lines(mif);
  MifTableHeader header;
  MifObject object;
  std::string error;
  ASSERT_TRUE(ReadMifHeader(lines, &header, &error)) << error;
  ASSERT_TRUE(ReadMifObject(lines, &object, &error)) << error;
  ASSERT_EQ(object.parts.at(0).xy.size(), numbers.size());
  for (size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(object.parts[0].xy[i], std::strtod(numbers[i].c_str(), nullptr)) << numbers[i];
  }
}
