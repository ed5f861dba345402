#include "app/main_commands.h"

#include "document/declared_encoding.h"
#include "document/encoding.h"
#include "document/file_io.h"
#include "document/file_names.h"
#include "document/kmz.h"
#include "features/feature_export.h"
#include "mif/analysis.h"
#include "mif/mif_export.h"
#include "mif/table_files.h"
#include "tags/tag_index.h"

const std::string kKmlFilter = Ui(u8"KML文件|*.kml");
const std::string kMifFilter = Ui(u8"MIF文件|*.mif|MIF+MID（属性、样式、内环、轨迹）|*.mif");

namespace {

const std::string kAllFilesFilter = Ui(u8"所有文件|*.*");

std::string Quoted(std::string_view path) { return Ui(u8"“") + std::string(path) + Ui(u8"”"); }

std::string KmzErrorReason(KmzError error) {
  switch (error) {
    case KmzError::kNone: return "";
    case KmzError::kDamaged: return Ui(u8"KMZ 压缩包已损坏。");
    case KmzError::kNoKml: return Ui(u8"KMZ 压缩包中没有 .kml 文件。");
    case KmzError::kEncrypted: return Ui(u8"KMZ 压缩包中的 KML 文件已加密。");
    case KmzError::kZip64: return Ui(u8"不支持 ZIP64 格式的 KMZ 压缩包。");
    case KmzError::kMethod: return Ui(u8"KMZ 压缩包中的 KML 文件使用了不支持的压缩方式。");
    case KmzError::kTooLarge: return Ui(u8"KMZ 压缩包中的 KML 文件大小与压缩包记载的不符。");
    case KmzError::kCrc: return Ui(u8"KMZ 压缩包中的 KML 文件已损坏（CRC 校验不符）。");
    case KmzError::kOutOfMemory: return Ui(u8"内存不足，无法解压 KMZ 压缩包。");
  }
  return "";
}

// The bytes of a KML file, or of the KML document in a KMZ archive; `archive` tells which.
FileStatus ReadKmlFile(const std::string& path, std::string* bytes, bool* archive = nullptr) {
  FileStatus status = ReadWholeFile(path, bytes);
  if (archive) *archive = status.ok && IsKmz(*bytes);
  if (status.ok && IsKmz(*bytes)) {
    std::string kml;
    KmzError error = ExtractKml(*bytes, &kml);
    if (error != KmzError::kNone) status = FileStatus::Failed(KmzErrorReason(error));
    *bytes = std::move(kml);
  }
  return status;
}

}  // namespace

std::string ReadErrorMessage(const std::string& path, const std::string& reason) {
  return Ui(u8"无法读取文件") + Quoted(path) + Ui(u8"：") + reason;
}

std::string WriteErrorMessage(const std::string& path, const std::string& reason) {
  return Ui(u8"无法写入文件") + Quoted(path) + Ui(u8"：") + reason + Ui(u8"\r\n\r\n原有的文件保持不变。");
}

std::string ReplaceQuestion(const std::vector<std::string>& paths, const std::string& stale_mid) {
  std::string question;
  if (paths.size() == 1) {
    question = Quoted(paths[0]) + Ui(u8"已存在。\r\n要替换它吗？");
  } else {
    std::string names;
    for (const std::string& path : paths) names += (names.empty() ? "" : Ui(u8"和")) + Quoted(path);
    question = names + Ui(u8"已存在。\r\n要替换它们吗？");
  }
  if (!stale_mid.empty()) {
    question += Ui(u8"\r\n\r\n原有的属性文件") + Quoted(stale_mid) + Ui(u8"与新的 MIF 文件不再对应，将被一并删除。");
  }
  return question;
}

MainCommands::MainCommands(MainView& view, GeometryState& geometry) : view_(view), geometry_(geometry) {
  CoordinateSystemChoice choice;
  choice.items = {{Ui(u8"WGS 84 经纬度（默认，与原来相同）"), false},
                  {Ui(u8"CGCS2000 经纬度"), false},
                  {Ui(u8"CGCS2000 高斯-克吕格 3° 带（自动带号）"), true},
                  {Ui(u8"CGCS2000 高斯-克吕格 6° 带（自动带号）"), true}};
  choice.check = [](const CoordinateSystemChoice& made) {
    CoordinateSystem crs;
    std::string error;
    return ChosenCoordinateSystem(made, &crs, &error) ? std::string() : error;
  };
  通用对话框2.coordinate_system = std::move(choice);
}

bool ChosenCoordinateSystem(const CoordinateSystemChoice& choice, CoordinateSystem* crs, std::string* error) {
  static const char* const kNames[] = {"", "cgcs2000", "gk3", "gk6"};
  *crs = CoordinateSystem();
  if (choice.chosen <= 0 || choice.chosen > 3) return true;
  std::string name = kNames[choice.chosen];
  // The zone box counts only where it is enabled; blanks around the number are forgiven.
  std::string zone = choice.zone;
  zone.erase(0, zone.find_first_not_of(' '));
  zone.erase(zone.find_last_not_of(' ') + 1);
  if (choice.items[static_cast<size_t>(choice.chosen)].takes_zone && !zone.empty()) name += ":" + zone;
  std::string english;
  if (!ParseCoordinateSystem(name, crs, &english)) {
    const ZoneRange range = ChineseZonesOf(choice.chosen == 2 ? CoordinateSystem::Kind::kGaussKruger3
                                                               : CoordinateSystem::Kind::kGaussKruger6);
    *error = Ui(u8"带号应为 ") + std::to_string(range.first) + Ui(u8" 至 ") + std::to_string(range.last) +
             Ui(u8" 之间的整数；留空则按数据的经度自动选择。");
    return false;
  }
  crs->zone_prefix = !(crs->Projected() && choice.no_zone_prefix);
  return true;
}

namespace {

std::string LeftOutNote(const LeftOut& left_out, bool rows) {
  std::string note;
  if (left_out.no_number) {
    note = GroupedDigits(left_out.no_number) + Ui(u8" 个坐标不是数字的顶点（第一个：“") + AnsiToUtf8(left_out.first) + Ui(u8"”）");
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

std::string RefusedZoneMessage(const ConversionReport& report, const CoordinateSystem& crs) {
  const ZoneRange zones = ChineseZonesOf(crs.kind);
  return Ui(u8"数据大多位于第 ") + std::to_string(report.zone) +
         (crs.kind == CoordinateSystem::Kind::kGaussKruger3 ? Ui(u8" 带（3° 带）") : Ui(u8" 带（6° 带）")) +
         Ui(u8"，不在我国 CGCS2000 的 ") + std::to_string(zones.first) + Ui(u8" 至 ") + std::to_string(zones.last) +
         Ui(u8" 带范围内，未写入文件。如仍要按某一带投影，请在“带号”中填写带号。");
}

std::string ConversionNotes(const ConversionReport& report, const CoordinateSystem& crs, bool rows) {
  std::string notes;
  auto line = [&](const std::string& text) { notes += (notes.empty() ? "" : Ui(u8"\r\n")) + text; };
  if (report.dropped_columns) {
    line(std::to_string(report.dropped_columns) + Ui(u8" 个扩展数据名称超出了 MIF 文件的 250 列，未写入。"));
  }
  if (report.cut_values) line(std::to_string(report.cut_values) + Ui(u8" 个超过 254 字节的值被截短。"));
  if (!report.renamed_columns.empty()) {
    std::string renamed;
    for (const auto& [name, written] : report.renamed_columns) {
      renamed += (renamed.empty() ? "" : Ui(u8"、")) + Ui(u8"“") + AnsiToUtf8(name) + Ui(u8"”改为“") + AnsiToUtf8(written) +
                 Ui(u8"”");
    }
    line(Ui(u8"列名与 MapInfo 自用的列名相同，已改名：") + renamed + Ui(u8"。"));
  }
  for (const ConversionReport::Invalid& invalid : report.invalid_values) {
    line(Ui(u8"“") + AnsiToUtf8(invalid.column) + Ui(u8"”列（") + invalid.type + Ui(u8"）中有 ") +
         std::to_string(invalid.count) + Ui(u8" 个值不是这种数，留空。"));
  }
  if (!report.records.left_out.empty()) line(LeftOutNote(report.records.left_out, rows));
  if (report.records.version.large_objects) line(VersionNote(report.records.version));
  if (crs.Projected() && report.far_vertices) {
    line(std::to_string(report.far_vertices) + Ui(u8" 个顶点距第 ") + std::to_string(report.zone) +
         (crs.kind == CoordinateSystem::Kind::kGaussKruger3 ? Ui(u8" 带中央经线超过 1.5°") : Ui(u8" 带中央经线超过 3°")) +
         Ui(u8"，变形较大，仍已投影。"));
  }
  return notes;
}

void MainCommands::OnCreated() {
  view_.SetChecked(Control::单选框6, true);
  view_.SetChecked(Control::单选框5, false);
}

// The bytes of a KML file, or of the KML document in a KMZ archive; a failure is shown. Save
// writes the text as KML, beside an archive, never into it.
bool MainCommands::ReadDocumentFile(const std::string& path, const std::string& command, std::string* bytes) {
  bool archive = false;
  FileStatus status = ReadKmlFile(path, bytes, &archive);
  if (status.ok) {
    通用对话框1.file_name = archive ? ReplaceExtension(path, ".kml") : path;
    document_path_ = path;
    view_.SetDocumentName(std::string(FileNameOf(path)));
  }
  if (!status.ok) view_.ShowMessage(ReadErrorMessage(path, status.reason), command, MessageIcon::kError);
  return status.ok;
}

// The Open dialogs offer KMZ files beside KML files: the designed filter gains a second pair
// while the dialog is shown, and keeps its own. The dialog's file name changes only with a
// file that was read.
bool MainCommands::ShowOpenDialog(std::string* path) {
  通用对话框1.kind = FileDialog::Kind::kOpen;
  FileDialog shown = 通用对话框1;
  if (shown.filter == kKmlFilter) shown.filter += Ui(u8"|KMZ文件|*.kmz");
  if (!view_.ShowFileDialog(shown)) return false;
  *path = shown.file_name;
  return true;
}

void MainCommands::OnOpenButton() {
  std::string path;
  if (ShowOpenDialog(&path)) OpenDocument(path);
}

// The document and the tag list are replaced only by a file that was read: a cancelled
// dialog or a failed read must not throw away an unsaved document.
bool MainCommands::OpenDocument(const std::string& path) {
  view_.ShowBusy();
  Pattern tag_pattern;
  if (!tag_pattern.Compile(kTagPattern, /*ignore_case=*/false)) {
    view_.ShowMessage(Ui(u8"创建正则表达式失败。请检查参数！"), Ui(u8"提取"), MessageIcon::kError);
    return false;
  }
  std::string bytes;
  if (!ReadDocumentFile(path, Ui(u8"打开"), &bytes)) return false;
  const Encoding chosen = view_.IsChecked(Control::单选框5) ? Encoding::kAnsi : Encoding::kUtf8;
  const Encoding encoding = ReadingEncoding(bytes, chosen);
  document_encoding_ = HasUtf16ByteOrderMark(bytes) ? Encoding::kUtf8 : encoding;
  view_.SetText(Control::编辑框1, DecodeDocument(std::move(bytes), encoding));
  view_.ClearItems(Control::列表框2);
  view_.AddItems(Control::列表框2, BuildTagIndex(tag_pattern, view_.Text(Control::编辑框1)));
  return true;
}

void MainCommands::OnFilesGiven(const std::vector<std::string>& paths) {
  if (paths.size() == 1) {
    OpenDocument(paths[0]);
  } else if (paths.size() > 1) {
    ConvertFiles(paths);
  }
}

void MainCommands::OnOpenMenu() {
  std::string path;
  if (!ShowOpenDialog(&path)) return;
  std::string bytes;
  if (!ReadDocumentFile(path, Ui(u8"打开"), &bytes)) return;
  document_encoding_ = HasUtf16ByteOrderMark(bytes) ? Encoding::kUtf8 : Encoding::kAnsi;
  view_.SetText(Control::编辑框1, BytesAsAnsiText(std::move(bytes)));
}

void MainCommands::SaveDocument(const std::string& filter, const char* extension, const std::string& command) {
  通用对话框1.kind = FileDialog::Kind::kSave;
  通用对话框1.filter = filter;
  通用对话框1.title = command;
  const bool confirmed = view_.ShowFileDialog(通用对话框1);
  通用对话框1.title.clear();
  if (confirmed) {
    std::string path = extension ? WithExtension(通用对话框1.file_name, extension) : 通用对话框1.file_name;
    // The bytes agree with the document's XML declaration: a UTF-8 document stays UTF-8.
    if (WriteFiles({{path, BytesToSave(view_.Text(Control::编辑框1), document_encoding_)}}, command)) {
      document_path_ = path;
      view_.SetDocumentName(std::string(FileNameOf(path)));
    }
  }
  通用对话框1.file_name.clear();
}

void MainCommands::OnSave() { SaveDocument(kKmlFilter, ".kml", Ui(u8"保存")); }

void MainCommands::OnSaveAs() { SaveDocument(kAllFilesFilter, nullptr, Ui(u8"另存为")); }

void MainCommands::OnAnalyse(GeometryKind kind) {
  view_.ShowBusy();
  AnalysisReport report = Analyse(geometry_, kind, MakeDocument(view_.Text(Control::编辑框1)));
  view_.ShowMessage(AnsiToUtf8(report.message), "", MessageIcon::kNone);
  view_.SetText(Control::编辑框2, report.result_text);
}

std::vector<MainCommands::OutputFile> MainCommands::ExportFiles(const std::string& document, const std::string& path,
                                                                int type, ConversionReport* report) {
  // The conversion of `geovant convert [--all] [--crs ...]`: with --all, a MIF file and the MID
  // file beside it.
  ConversionOptions options = type == kMifWithMidType ? ConversionOptions::All() : ConversionOptions();
  options.crs = export_crs_;
  ConvertedText converted = ConvertInMemory(ExportSource{document, Encoding::kAnsi}, options);
  if (report) *report = converted.report;
  if (type != kMifWithMidType) return {{path, std::move(converted.mif)}};
  return {{path, std::move(converted.mif)}, {MidPathFor(path), std::move(converted.mid)}};
}

void MainCommands::OnExportMif() {
  view_.ShowBusy();
  const std::string document = view_.Text(Control::编辑框1);
  // The MIF file of the first type is made before the message, as it always was.
  ConvertedText first = ConvertInMemory(ExportSource{document, Encoding::kAnsi}, ConversionOptions());
  view_.ShowMessage(Ui(u8"解析完毕 "), "", MessageIcon::kNone);
  通用对话框2.kind = FileDialog::Kind::kSave;
  通用对话框2.filter = kMifFilter;
  通用对话框2.title = Ui(u8"生成MIF");
  if (!document_path_.empty()) 通用对话框2.file_name = ReplaceExtension(document_path_, ".mif");
  if (view_.ShowFileDialog(通用对话框2)) {
    std::string error;
    if (!ChosenCoordinateSystem(*通用对话框2.coordinate_system, &export_crs_, &error)) {
      export_crs_ = CoordinateSystem();
      view_.ShowMessage(error, Ui(u8"生成MIF"), MessageIcon::kError);
      通用对话框2.file_name.clear();
      return;
    }
    std::string path = WithExtension(通用对话框2.file_name, ".mif");
    const int type = 通用对话框2.filter_index;
    ConversionReport report = first.report;
    std::vector<OutputFile> files;
    if (type == kMifWithMidType || export_crs_ != CoordinateSystem()) {
      view_.ShowBusy();
      files = ExportFiles(document, path, type, &report);
    } else {
      files = {{path, std::move(first.mif)}};
    }
    if (report.zone_refused) {
      view_.ShowMessage(RefusedZoneMessage(report, export_crs_), Ui(u8"生成MIF"), MessageIcon::kError);
    } else {
      // A MIF file written alone takes away the MID file of the MIF file it replaces.
      const bool written = WriteFiles(files, Ui(u8"生成MIF"), files.size() == 1 ? StaleMidBeside(path) : "");
      const std::string notes = ConversionNotes(report, export_crs_, files.size() > 1);
      if (written && !notes.empty()) view_.ShowMessage(notes, Ui(u8"生成MIF"), MessageIcon::kNone);
    }
  }
  通用对话框2.file_name.clear();
}

bool MainCommands::WriteFiles(const std::vector<OutputFile>& files, const std::string& command,
                              const std::string& stale) {
  std::vector<std::string> existing;
  for (const OutputFile& file : files) {
    if (KindOf(file.path) == PathKind::kFile) existing.push_back(file.path);
  }
  if (!existing.empty() && !view_.AskYesNo(ReplaceQuestion(existing, stale), command)) return false;
  std::vector<std::pair<std::string, std::string_view>> bytes;
  for (const OutputFile& file : files) bytes.emplace_back(file.path, file.bytes);
  std::string failed;
  FileStatus status = WriteFilesTogether(bytes, stale, &failed);
  if (!status.ok) view_.ShowMessage(WriteErrorMessage(failed, status.reason), command, MessageIcon::kError);
  return status.ok;
}

void MainCommands::ConvertFiles(const std::vector<std::string>& paths) {
  view_.ShowBusy();
  const int type = 通用对话框2.filter_index;
  const std::string command = Ui(u8"生成MIF");
  std::vector<std::string> existing;
  for (const std::string& path : paths) {
    std::string mif = ReplaceExtension(path, ".mif");
    for (const std::string& out : type == kMifWithMidType ? std::vector<std::string>{mif, MidPathFor(mif)}
                                                          : std::vector<std::string>{mif}) {
      if (KindOf(out) == PathKind::kFile) existing.push_back(out);
    }
  }
  if (!existing.empty() && !view_.AskYesNo(ReplaceQuestion(existing), command)) return;
  const Encoding chosen = view_.IsChecked(Control::单选框5) ? Encoding::kAnsi : Encoding::kUtf8;
  size_t written = 0;
  std::string failures, notes;
  std::string last_read;
  for (const std::string& path : paths) {
    std::string bytes;
    FileStatus status = ReadKmlFile(path, &bytes);
    std::string failed = path;
    if (status.ok) {
      last_read = path;
      const Encoding encoding = ReadingEncoding(bytes, chosen);
      std::string document = DecodeDocument(std::move(bytes), encoding);
      const std::string mif = ReplaceExtension(path, ".mif");
      ConversionReport report;
      std::vector<OutputFile> files = ExportFiles(document, mif, type, &report);
      std::vector<std::pair<std::string, std::string_view>> views;
      for (const OutputFile& file : files) views.emplace_back(file.path, file.bytes);
      status = report.zone_refused ? FileStatus::Failed(RefusedZoneMessage(report, export_crs_))
                                   : WriteFilesTogether(views, files.size() == 1 ? StaleMidBeside(mif) : "", &failed);
      const std::string file_notes = ConversionNotes(report, export_crs_, files.size() > 1);
      if (status.ok && !file_notes.empty()) notes += Ui(u8"\r\n") + Quoted(path) + Ui(u8"：") + file_notes;
    }
    if (status.ok) {
      ++written;
    } else {
      failures += Ui(u8"\r\n") + Quoted(failed) + Ui(u8"：") + status.reason;
    }
  }
  if (!last_read.empty()) OpenDocument(last_read);
  std::string message = Ui(u8"已生成 ") + std::to_string(written) +
                        (type == kMifWithMidType ? Ui(u8" 个 MIF 文件及其 MID 文件。") : Ui(u8" 个 MIF 文件。"));
  if (!notes.empty()) message += Ui(u8"\r\n") + notes;
  if (!failures.empty()) message += Ui(u8"\r\n\r\n以下文件未能转换：") + failures;
  view_.ShowMessage(message, command, failures.empty() ? MessageIcon::kNone : MessageIcon::kError);
}

void MainCommands::OnTagSelected() {
  view_.SetText(Control::编辑框2, "");
  std::optional<std::string> item = view_.SelectedItem(Control::列表框2);
  if (!item) return;
  view_.ShowBusy();
  bool cut_short = false;
  std::string result = ExtractElements(*item, view_.Text(Control::编辑框1), nullptr, &cut_short);
  if (cut_short) result += "\r\n（查找用时超出限度而中止，以上只是部分结果。）\r\n";
  view_.SetText(Control::编辑框2, result);
}

void MainCommands::OnExit() { view_.CloseWindow(); }
