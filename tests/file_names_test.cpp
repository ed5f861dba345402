#include "document/file_names.h"

#include <gtest/gtest.h>

TEST(FileNames, AppendsTheExtensionOnlyWhenMissing) {
  EXPECT_EQ(WithExtension("roads", ".mif"), "roads.mif");
  EXPECT_EQ(WithExtension("roads.mif", ".mif"), "roads.mif");
  EXPECT_EQ(WithExtension("C:\\data\\ROADS.MIF", ".mif"), "C:\\data\\ROADS.MIF");
  EXPECT_EQ(WithExtension("a.kml", ".mif"), "a.kml.mif");
  EXPECT_EQ(WithExtension("a.kml", ".kml"), "a.kml");
  EXPECT_EQ(WithExtension("mif", ".mif"), "mif.mif");
  EXPECT_EQ(WithExtension("", ".kml"), ".kml");
}

TEST(FileNames, ReplacesTheExtensionOfTheLastComponent) {
  EXPECT_EQ(ReplaceExtension("a/b.kml", ".mif"), "a/b.mif");
  EXPECT_EQ(ReplaceExtension("b.tar.kml", ".mif"), "b.tar.mif");
  EXPECT_EQ(ReplaceExtension("a.d/b", ".mif"), "a.d/b.mif");
  EXPECT_EQ(ReplaceExtension("a.d\\b", ".mif"), "a.d\\b.mif");
  EXPECT_EQ(ReplaceExtension(".hidden", ".mif"), ".hidden.mif");
  EXPECT_EQ(ReplaceExtension("dir/.hidden", ".mif"), "dir/.hidden.mif");
}
