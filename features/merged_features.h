#pragma once

#include <vector>

#include "features/document_survey.h"
#include "features/kml_features.h"
#include "features/table_layout.h"

// The features of several documents as one table has them (--merge): the fields of all by name,
// in order of first appearance, their types, the folders of each after those of the ones
// before it, and what their rows tell the columns.
struct MergedFeatures {
  MergedFeatures() : document(std::string_view(), Encoding::kAnsi) {}
  KmlFeatures document;
  RowCounts rows;
  // Of each input: the merged field of each of its document's fields, and the number of its
  // first folder.
  std::vector<std::vector<int>> field_of;
  std::vector<int> first_folder;
};
MergedFeatures MergeFeatures(const std::vector<const DocumentSurvey*>& surveys);
