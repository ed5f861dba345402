#include "app/command_texts.h"

#include <cstdio>

#include "app/main_view.h"
#include "document/encoding.h"
#include "document/file_names.h"

namespace {

std::string Quoted(std::string_view text) { return Ui(u8"“") + std::string(text) + Ui(u8"”"); }

// The names of `paths`, one a line after `indent`, and their folder once when they share one;
// the whole paths where they do not.
std::string NamedFiles(const std::vector<std::string>& paths, const std::string& indent) {
  bool one_folder = true;
  for (const std::string& path : paths) one_folder = one_folder && ParentFolderOf(path) == ParentFolderOf(paths[0]);
  std::string lines;
  for (const std::string& path : paths) {
    lines += indent + (one_folder ? std::string(FileNameOf(path)) : path) + Ui(u8"\r\n");
  }
  if (one_folder && !paths.empty() && !ParentFolderOf(paths[0]).empty()) {
    lines += Ui(u8"文件夹：") + std::string(ParentFolderOf(paths[0])) + Ui(u8"\r\n");
  }
  return lines;
}

// "\r\n文件夹：D:\\数据" for a path in a folder.
std::string FolderLine(const std::string& path) {
  return ParentFolderOf(path).empty() ? std::string() : Ui(u8"\r\n文件夹：") + std::string(ParentFolderOf(path));
}

std::string LeftOutNote(const LeftOut& left_out, bool rows) {
  std::string note;
  if (left_out.no_number) {
    note = GroupedDigits(left_out.no_number) + Ui(u8" 个坐标不是数字的顶点（第一个：") + Quoted(AnsiToUtf8(left_out.first)) +
           Ui(u8"）");
  }
  if (left_out.beyond) {
    note += (note.empty() ? "" : Ui(u8"和 ")) + GroupedDigits(left_out.beyond) +
            Ui(u8" 个投影无法表示的顶点（不在地球上，或距中央经线超过 90°）");
  }
  if (!note.empty()) note = Ui(u8"已略去 ") + note + Ui(u8"。");
  if (left_out.records) {
    if (!note.empty()) note += Ui(u8"\r\n");
    note += GroupedDigits(left_out.records) + Ui(u8" 个对象的顶点少于 MapInfo 的要求（点 1 个、线 2 个、面 3 个），未写入");
    note += rows ? Ui(u8"；其属性行仍保留，对象为空。") : Ui(u8"。");
  }
  return note;
}

std::string VersionNote(const VersionNeeds& needs) {
  const std::string version = std::to_string(needs.version);
  std::string note = GroupedDigits(needs.large_objects);
  if (needs.version >= 800) {
    note += Ui(u8" 个对象超出 MapInfo 8.0 以前版本的容量（最大的有 ") + GroupedDigits(needs.largest_nodes) + Ui(u8" 个节点、") +
            GroupedDigits(needs.largest_sections) + Ui(u8" 个部分）");
  } else {
    note += Ui(u8" 个对象超过 32,767 个节点（最大的有 ") + GroupedDigits(needs.largest_nodes) + Ui(u8" 个）");
  }
  return note + Ui(u8"：MIF 文件标为 Version ") + version + Ui(u8"，需用 MapInfo ") + version.substr(0, 1) + "." +
         version.substr(1, 1) + Ui(u8" 或更高版本打开。");
}

}  // namespace

std::string ReadErrorMessage(const std::string& path, const std::string& reason) {
  return Ui(u8"无法读取文件") + Quoted(FileNameOf(path)) + Ui(u8"：") + reason + FolderLine(path);
}

std::string WriteErrorMessage(const std::string& path, const std::string& reason) {
  return Ui(u8"无法写入文件") + Quoted(FileNameOf(path)) + Ui(u8"：") + reason + FolderLine(path) +
         Ui(u8"\r\n\r\n原有的文件保持不变。");
}

std::string ReplaceQuestion(const std::vector<std::string>& paths, const std::string& stale_mid) {
  std::string question;
  if (paths.size() == 1) {
    question = Quoted(FileNameOf(paths[0])) + Ui(u8"已存在。") + FolderLine(paths[0]) + Ui(u8"\r\n\r\n要替换它吗？");
  } else {
    question = Ui(u8"以下文件已存在：\r\n") + NamedFiles(paths, "  ") + Ui(u8"\r\n要替换它们吗？");
  }
  if (!stale_mid.empty()) {
    question += Ui(u8"\r\n\r\n原有的属性文件") + Quoted(FileNameOf(stale_mid)) + Ui(u8"与新的 MIF 文件不再对应，将被一并删除。");
  }
  return question;
}

std::string UnsavedEditsQuestion(const std::string& path) {
  return (path.empty() ? Ui(u8"文档") : Ui(u8"文档") + Quoted(FileNameOf(path))) + Ui(u8"已修改。\r\n\r\n要保存修改吗？");
}

std::string LackingCharactersMessage(const std::string& path, size_t lacking) {
  return Quoted(FileNameOf(path)) + Ui(u8"中有 ") + GroupedDigits(lacking) +
         Ui(u8" 个字符是 GBK 无法表示的（如表情符号）：标签列表、分析和 MIF 文件中显示为“?”，保存文档时原样保留。");
}

std::string ConversionNotes(const ConversionReport& report, const CoordinateSystem& crs, bool rows) {
  std::string notes;
  auto line = [&](const std::string& text) { notes += (notes.empty() ? "" : Ui(u8"\r\n")) + text; };
  if (report.dropped_columns) {
    line(GroupedDigits(report.dropped_columns) + Ui(u8" 个扩展数据名称超出了 MIF 文件的 250 列，未写入。"));
  }
  if (report.cut_values) line(GroupedDigits(report.cut_values) + Ui(u8" 个超过 254 字节的值被截短。"));
  if (!report.renamed_columns.empty()) {
    std::string renamed;
    for (const auto& [name, written] : report.renamed_columns) {
      renamed += (renamed.empty() ? "" : Ui(u8"、")) + Quoted(AnsiToUtf8(name)) + Ui(u8"改为") + Quoted(AnsiToUtf8(written));
    }
    line(Ui(u8"列名与 MapInfo 自用的列名相同，已改名：") + renamed + Ui(u8"。"));
  }
  for (const ConversionReport::Invalid& invalid : report.invalid_values) {
    line(Quoted(AnsiToUtf8(invalid.column)) + Ui(u8"列（") + invalid.type + Ui(u8"）中有 ") + GroupedDigits(invalid.count) +
         Ui(u8" 个值不是这种数，留空。"));
  }
  if (report.unrepresented && rows) {
    line(GroupedDigits(report.unrepresented) + Ui(u8" 个字符 GBK 无法表示，在 MID 文件中写为“?”。"));
  }
  if (report.described_twice) {
    line(GroupedDigits(report.described_twice) + Ui(u8" 个地标的描述中的字段与其扩展数据同名，采用扩展数据的值。"));
  }
  if (report.no_altitude) {
    line(GroupedDigits(report.no_altitude) + Ui(u8" 个对象的第三个坐标不是数，高程列留空。"));
  }
  if (!report.records.left_out.empty()) line(LeftOutNote(report.records.left_out, rows));
  if (report.records.version.large_objects) line(VersionNote(report.records.version));
  if (crs.Projected() && report.far_vertices) {
    line(GroupedDigits(report.far_vertices) + Ui(u8" 个顶点距第 ") + std::to_string(report.zone) +
         (crs.kind == CoordinateSystem::Kind::kGaussKruger3 ? Ui(u8" 带中央经线超过 1.5°") : Ui(u8" 带中央经线超过 3°")) +
         Ui(u8"，变形较大，仍已投影。"));
  }
  return notes;
}

std::string CoordinateSystemName(const CoordinateSystem& crs, int zone) {
  switch (crs.kind) {
    case CoordinateSystem::Kind::kDefault: return Ui(u8"经纬度（不标注基准面，与 MapInfo 默认相同）");
    case CoordinateSystem::Kind::kWgs84: return Ui(u8"WGS 84 经纬度");
    case CoordinateSystem::Kind::kCgcs2000: return Ui(u8"CGCS2000 经纬度");
    case CoordinateSystem::Kind::kGaussKruger3:
    case CoordinateSystem::Kind::kGaussKruger6: break;
  }
  const std::string kind = crs.kind == CoordinateSystem::Kind::kGaussKruger3 ? Ui(u8"CGCS2000 高斯-克吕格 3° 带")
                                                                             : Ui(u8"CGCS2000 高斯-克吕格 6° 带");
  const std::string prefix = crs.zone_prefix ? Ui(u8"东坐标前加带号") : Ui(u8"东坐标不加带号");
  if (zone == 0) return kind + Ui(u8"（按数据选带，") + prefix + Ui(u8"）");
  char meridian[32];
  std::snprintf(meridian, sizeof meridian, "%g", CentralMeridianOf(crs.kind, zone));
  return kind + Ui(u8"，第 ") + std::to_string(zone) + Ui(u8" 带（中央经线 ") + meridian + Ui(u8"°，") + prefix + Ui(u8"）");
}

std::string ExportMessage(const std::vector<std::string>& files, const ConversionReport& report,
                          const CoordinateSystem& crs) {
  std::string message = Ui(u8"已写入：\r\n") + NamedFiles(files, "  ") + Ui(u8"\r\n对象：") +
                        GroupedDigits(report.records.objects) + Ui(u8" 个\r\n坐标系：") +
                        CoordinateSystemName(crs, report.zone);
  const std::string notes = ConversionNotes(report, crs, files.size() > 1);
  if (!notes.empty()) message += Ui(u8"\r\n\r\n") + notes;
  return message;
}

std::string RefusedZoneMessage(const ConversionReport& report, const CoordinateSystem& crs) {
  const ZoneRange zones = ChineseZonesOf(crs.kind);
  return Ui(u8"数据大多位于第 ") + std::to_string(report.zone) +
         (crs.kind == CoordinateSystem::Kind::kGaussKruger3 ? Ui(u8" 带（3° 带）") : Ui(u8" 带（6° 带）")) +
         Ui(u8"，不在我国 CGCS2000 的 ") + std::to_string(zones.first) + Ui(u8" 至 ") + std::to_string(zones.last) +
         Ui(u8" 带范围内，未写入文件。如仍要按某一带投影，请在“带号”中填写带号。");
}

std::string BatchSummary(const std::string& file_type, const CoordinateSystem& crs,
                         const std::vector<BatchOutcome>& outcomes) {
  std::vector<std::string> inputs, failed;
  size_t written = 0;
  for (const BatchOutcome& outcome : outcomes) {
    inputs.push_back(outcome.input);
    written += !outcome.written.empty();
  }
  std::string summary = Ui(u8"已转换 ") + GroupedDigits(written) + Ui(u8" 个文件（共 ") + GroupedDigits(outcomes.size()) +
                        Ui(u8" 个），文件类型：") + file_type + Ui(u8"，坐标系：") + CoordinateSystemName(crs, crs.zone) +
                        Ui(u8"。\r\n");
  bool one_folder = true;
  for (const std::string& input : inputs) one_folder = one_folder && ParentFolderOf(input) == ParentFolderOf(inputs[0]);
  if (one_folder && !inputs.empty() && !ParentFolderOf(inputs[0]).empty()) {
    summary += Ui(u8"文件夹：") + std::string(ParentFolderOf(inputs[0])) + Ui(u8"\r\n");
  }
  auto name = [&](const std::string& path) { return one_folder ? std::string(FileNameOf(path)) : path; };
  for (const BatchOutcome& outcome : outcomes) {
    if (outcome.written.empty()) continue;
    summary += Ui(u8"\r\n") + name(outcome.input) + Ui(u8" → ");
    for (size_t i = 0; i < outcome.written.size(); ++i) {
      summary += (i ? Ui(u8"、") : "") + std::string(FileNameOf(outcome.written[i]));
    }
    if (!outcome.notes.empty()) summary += Ui(u8"\r\n") + outcome.notes;
  }
  if (written < outcomes.size()) {
    summary += Ui(u8"\r\n\r\n未能转换：");
    for (const BatchOutcome& outcome : outcomes) {
      if (outcome.written.empty()) summary += Ui(u8"\r\n") + name(outcome.input) + Ui(u8"：") + outcome.reason;
    }
  }
  return summary;
}

std::string AboutText() {
  return Ui(u8"Geovant " GEOVANT_VERSION "\r\n\r\n把 KML、KMZ 文件转换为 MapInfo 的 MIF 文件。\r\n\r\n"
            u8"以 MIT 许可证发布。程序中所含第三方组件的许可证见程序旁的 THIRD-PARTY-NOTICES.txt。");
}
