#include "features/feature_export.h"

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>

#include "features/attribute_table.h"
#include "features/kml_features.h"
#include "features/mif_styles.h"
#include "features/object_plan.h"
#include "features/object_writer.h"
#include "mif/export_plan.h"
#include "mif/ordered_parallel.h"

namespace {

// Objects are written in pieces of about 1 MB of their texts.
constexpr size_t kObjectChunk = size_t{1} << 20;

// The style clauses of each placemark, one set for each style.
class StyleClauses {
 public:
  explicit StyleClauses(const KmlFeatures& features) {
    // Placemarks in a row mostly name the same shared style: it is looked up once.
    std::string_view last_url;
    const Clauses* last = nullptr;
    for (const Placemark& placemark : features.placemarks) {
      std::string_view url = features.Value(placemark.style_url);
      if (last && placemark.inline_style < 0 && url == last_url) {
        of_placemark_.push_back(last);
        continue;
      }
      const KmlStyle* style = features.StyleOf(placemark);
      auto [it, added] = by_style_.try_emplace(style);
      if (added) {
        std::string symbol = SymbolClause(style);
        symbol.resize(symbol.size() - 2);  // its line end goes with the record
        it->second = {std::move(symbol), PlineClause(style), RegionClause(style)};
      }
      of_placemark_.push_back(&it->second);
      last = placemark.inline_style < 0 ? &it->second : nullptr;
      last_url = url;
    }
  }
  const std::vector<const Clauses*>* of_placemark() const { return &of_placemark_; }

 private:
  std::unordered_map<const KmlStyle*, Clauses> by_style_;
  std::vector<const Clauses*> of_placemark_;
};

}  // namespace

bool ExportWithOptions(const ExportSource& source, const ConversionOptions& options, int threads,
                       const MifSink& mif_sink, const MifSink& mid_sink, ConversionReport* report) {
  if (!options.Any()) return ExportMif(source, threads, mif_sink);
  const std::string_view text = source.text;
  // The placemarks and the geometry plan are found in one pass over the text.
  std::unique_ptr<KmlFeatures> features;
  std::array<KindPlan, 3> kinds;
  if (options.Table() || options.styles || options.multi) {
    ExportPlanner planner(text);
    FeatureReading reading;
    reading.whole_descriptions = options.plain_descriptions;
    features = std::make_unique<KmlFeatures>(
        ReadFeatures(text, source.encoding, threads, kFeatureBlock, &planner, reading));
    kinds = std::move(planner.plans());
  } else {
    kinds = PlanExport(text, threads);
  }
  const ObjectPlan plan = MakeObjectPlan(text, kinds, options, features.get(), threads);
  std::unique_ptr<AttributeTable> table;
  if (options.Table()) {
    table = std::make_unique<AttributeTable>(*features, plan.used, threads,
                                             TableOptions{options.typed, options.times, options.plain_descriptions});
    report->dropped_columns = table->dropped_columns();
    report->cut_values = table->cut_values();
    for (const AttributeTable::Invalid& invalid : table->invalid_values()) {
      const char* type = invalid.type == FieldType::kInteger ? "Integer" : invalid.type == FieldType::kFloat ? "Float" : "Logical";
      report->invalid_values.push_back({invalid.column, type, invalid.count});
    }
  }
  std::unique_ptr<StyleClauses> clauses;
  if (options.styles) clauses = std::make_unique<StyleClauses>(*features);

  if (!mif_sink(MifHeaderWith(table.get(), NeedsVersion650(plan, options)))) return false;
  const int workers = ThreadsFor(text.size(), threads);
  for (size_t s = 0; s < plan.sections.size(); ++s) {
    if (s > 0 && !mif_sink("\r\n")) return false;
    const std::vector<PlannedObject>& section = plan.sections[s];
    std::vector<size_t> bounds = PieceBounds(section.size(), kObjectChunk, [&](size_t i) {
      size_t bytes = 16;
      for (uint32_t p = section[i].first; p < section[i].first + section[i].count; ++p) bytes += plan.parts[p].text.size();
      return bytes;
    });
    bool ok = OrderedParallel<std::pair<MifWriter, MifWriter>>(
        bounds.size() - 1, workers, static_cast<size_t>(3 * workers),
        [&](size_t c) {
          ObjectWriter writer(source, plan, options, clauses ? clauses->of_placemark() : nullptr, table.get());
          std::pair<MifWriter, MifWriter> out;
          for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) writer.Write(section[i], out.first, out.second);
          return out;
        },
        [&](size_t, std::pair<MifWriter, MifWriter>& out) {
          return (out.first.text().empty() || mif_sink(out.first.text())) &&
                 (!table || out.second.text().empty() || mid_sink(out.second.text()));
        });
    if (!ok) return false;
  }
  // Merged objects end without a line end; the file does not.
  return !plan.merged || mif_sink("\r\n");
}

ConvertedText ConvertInMemory(const ExportSource& source, const ConversionOptions& options) {
  ConvertedText out;
  auto append_to = [](std::string& text) {
    return [&text](std::string_view piece) {
      text.append(piece);
      return true;
    };
  };
  ExportWithOptions(source, options, 1, append_to(out.mif), append_to(out.mid), &out.report);
  return out;
}
