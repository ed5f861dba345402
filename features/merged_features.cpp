#include "features/merged_features.h"

#include <unordered_map>

MergedFeatures MergeFeatures(const std::vector<const DocumentSurvey*>& surveys) {
  MergedFeatures merged;
  KmlFeatures& to = merged.document;
  std::unordered_map<std::string, int> field_named;
  for (const DocumentSurvey* survey : surveys) {
    const KmlFeatures& from = *survey->document;
    std::vector<int>& field_of = merged.field_of.emplace_back();
    for (const std::string& field : from.fields) {
      auto [it, added] = field_named.emplace(field, static_cast<int>(to.fields.size()));
      if (added) to.fields.push_back(field);
      field_of.push_back(it->second);
    }
    for (const auto& [name, type] : from.field_types) to.AddFieldType(name, type);
    to.untyped_fields.insert(from.untyped_fields.begin(), from.untyped_fields.end());
    const auto first_folder = static_cast<int>(to.folders.size());
    merged.first_folder.push_back(first_folder);
    for (KmlFolder folder : from.folders) {
      if (folder.parent >= 0) folder.parent += first_folder;
      to.folders.push_back(std::move(folder));
    }
    to.unrepresented += from.unrepresented;
    merged.rows.Add(survey->rows, field_of, static_cast<size_t>(first_folder));
  }
  return merged;
}
