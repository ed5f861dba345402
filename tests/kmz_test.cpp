#include "document/kmz.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "tests/zip_writer.h"

namespace {

const std::string kKml = GenerateKml(20, 10);

std::string Unpacked(const std::vector<ZipEntry>& entries, KmzError expected = KmzError::kNone) {
  std::string kml;
  EXPECT_EQ(ExtractKml(MakeZip(entries), &kml), expected);
  return kml;
}

}  // namespace

TEST(Kmz, UnpacksStoredAndDeflatedEntriesWithOrWithoutADataDescriptor) {
  for (bool deflate : {false, true}) {
    for (bool descriptor : {false, true}) {
      ZipEntry doc{"doc.kml", kKml, deflate, descriptor};
      EXPECT_TRUE(Unpacked({{"images/a.png", "png"}, doc}) == kKml) << deflate << descriptor;
    }
  }
  EXPECT_TRUE(IsKmz(MakeZip({{"doc.kml", kKml}})));
  EXPECT_FALSE(IsKmz(kKml));
}

TEST(Kmz, TakesDocKmlAtTheRootElseTheFirstKmlInTheDirectory) {
  EXPECT_EQ(Unpacked({{"a.kml", "first"}, {"doc.kml", "doc"}, {"b.kml", "second"}}), "doc");
  EXPECT_EQ(Unpacked({{"files/doc.kml", "nested"}, {"B.KML", "upper case"}}), "nested");
  EXPECT_EQ(Unpacked({{"readme.txt", "text"}, {"Track.Kml", "track"}, {"z.kml", "z"}}), "track");
}

TEST(Kmz, Rejects) {
  ZipEntry good{"doc.kml", kKml};
  ZipEntry encrypted = good, zip64 = good, bzip2 = good, bad_crc = good, too_small = good, too_large = good;
  encrypted.extra_flags = 1;
  zip64.declared_size = 0xFFFFFFFF;
  bzip2.method = 12;
  bad_crc.crc_xor = 1;
  too_small.declared_size = static_cast<int64_t>(kKml.size()) - 1;  // inflates beyond it
  too_large.declared_size = static_cast<int64_t>(kKml.size()) + 1;
  Unpacked({{"a.txt", "x"}}, KmzError::kNoKml);
  Unpacked({encrypted}, KmzError::kEncrypted);
  Unpacked({zip64}, KmzError::kZip64);
  Unpacked({bzip2}, KmzError::kMethod);
  Unpacked({bad_crc}, KmzError::kCrc);
  Unpacked({too_small}, KmzError::kTooLarge);
  Unpacked({too_large}, KmzError::kTooLarge);
  too_small.deflate = false;
  Unpacked({too_small}, KmzError::kTooLarge);
}

TEST(Kmz, DamagedArchivesGiveAnErrorAndNoDocument) {
  std::string zip = MakeZip({{"doc.kml", kKml}});
  std::string kml = "stale";
  for (size_t cut : {size_t{4}, size_t{30}, zip.size() / 2, zip.size() - 30, zip.size() - 1}) {
    EXPECT_NE(ExtractKml(zip.substr(0, cut), &kml), KmzError::kNone) << cut;
    EXPECT_EQ(kml, "") << cut;
  }
  for (size_t at = 0; at < zip.size(); at += 7) {  // every field of the headers, wrong in turn
    std::string damaged = zip;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
    if (ExtractKml(damaged, &kml) == KmzError::kNone) {
      EXPECT_TRUE(kml == kKml) << at;
    }
  }
}

TEST(Kmz, ArchivesWithoutEntriesOrWithDamagedStartsAreArchivesAllTheSame) {
  const std::string empty("PK\5\6" + std::string(18, '\0'));  // what zip writes for no files
  EXPECT_TRUE(IsKmz(empty));
  std::string kml = "stale";
  EXPECT_EQ(ExtractKml(empty, &kml), KmzError::kNoKml);
  std::string damaged_start = MakeZip({{"doc.kml", kKml}});
  damaged_start.replace(0, 4, "XXXX");
  EXPECT_TRUE(IsKmz(damaged_start));
  EXPECT_EQ(ExtractKml(damaged_start, &kml), KmzError::kDamaged);
  EXPECT_FALSE(IsKmz("<kml>PK</kml>"));
}

TEST(Kmz, AnEndRecordInsideTheCommentMakesTheArchiveDamagedNotZip64) {
  std::string zip = MakeZip({{"doc.kml", kKml}});
  const std::string comment = "PK\5\6" + std::string(18, '\xFF');
  zip[zip.size() - 2] = static_cast<char>(comment.size());  // the comment length of the real record
  zip += comment;
  std::string kml;
  EXPECT_EQ(ExtractKml(zip, &kml), KmzError::kDamaged);
}

TEST(Kmz, StoredEntriesHaveTheirCrcChecked) {
  ZipEntry stored{"doc.kml", kKml, /*deflate=*/false};
  stored.crc_xor = 1;
  Unpacked({stored}, KmzError::kCrc);
}
