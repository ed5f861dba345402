#include "app/main_commands.h"

#include <algorithm>

#include "document/encoding.h"
#include "document/file_names.h"
#include "document/kmz.h"
#include "features/kml_walk.h"
#include "mif/analysis.h"
#include "mif/table_files.h"
#include "tab/tab_table.h"
#include "tags/tag_index.h"

const std::string kKmlFilter = Ui(u8"KML文件|*.kml");
const std::string kMifFilter =
    Ui(u8"MIF文件|*.mif|MIF+MID（属性、样式、内环、轨迹）|*.mif|MapInfo TAB表|*.tab");

namespace {

const std::string kAllFilesFilter = Ui(u8"所有文件|*.*");
const std::string kExportCommand = Ui(u8"生成MIF");
const std::string kRecordsUnread = Ui(u8"无法从临时文件读回地标的属性，没有写出文件。");

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

// The extension of the export's file type.
const char* ExtensionOf(int type) { return type == kTabType ? ".tab" : ".mif"; }

// Why a table could not be made of the MIF text: a fault of this program, said as such.
std::string TableErrorMessage(const std::string& error) {
  return Ui(u8"无法生成 TAB 表，没有写出文件：") + AnsiToUtf8(error);
}

// The captions of the export's file types, from its filter.
std::vector<std::string> FileTypesOf(const std::string& filter) {
  std::vector<std::string> types;
  for (size_t at = 0; at < filter.size();) {
    const size_t bar = filter.find('|', at);
    types.push_back(filter.substr(at, bar - at));
    const size_t next = bar == std::string::npos ? bar : filter.find('|', bar + 1);
    at = next == std::string::npos ? filter.size() : next + 1;
  }
  return types;
}

}  // namespace

MainCommands::MainCommands(MainView& view, GeometryState& geometry) : view_(view), geometry_(geometry) {
  CoordinateSystemChoice choice;
  // The first item keeps the designed header, which names no datum, and says so.
  choice.items = {{Ui(u8"经纬度（不标注基准面，与 MapInfo 默认相同）"), false},
                  {Ui(u8"WGS 84 经纬度"), false},
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
  static const char* const kNames[] = {"", "wgs84", "cgcs2000", "gk3", "gk6"};
  *crs = CoordinateSystem();
  if (choice.chosen <= 0 || choice.chosen > 4) return true;
  std::string name = kNames[choice.chosen];
  // The zone box counts only where it is enabled; blanks around the number are forgiven.
  std::string zone = choice.zone;
  zone.erase(0, zone.find_first_not_of(' '));
  zone.erase(zone.find_last_not_of(' ') + 1);
  if (choice.items[static_cast<size_t>(choice.chosen)].takes_zone && !zone.empty()) name += ":" + zone;
  std::string english;
  if (!ParseCoordinateSystem(name, crs, &english)) {
    const ZoneRange range = ChineseZonesOf(choice.chosen == 3 ? CoordinateSystem::Kind::kGaussKruger3
                                                               : CoordinateSystem::Kind::kGaussKruger6);
    *error = Ui(u8"带号应为 ") + std::to_string(range.first) + Ui(u8" 至 ") + std::to_string(range.last) +
             Ui(u8" 之间的整数；留空则按数据的经度自动选择。");
    return false;
  }
  crs->zone_prefix = !(crs->Projected() && choice.no_zone_prefix);
  return true;
}

void MainCommands::OnCreated() {
  view_.SetChecked(Control::单选框6, true);
  view_.SetChecked(Control::单选框5, false);
}

Encoding MainCommands::ChosenEncoding() const {
  return view_.IsChecked(Control::单选框5) ? Encoding::kAnsi : Encoding::kUtf8;
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

bool MainCommands::MayDiscardEdits() {
  if (!view_.IsModified(Control::编辑框1)) return true;
  switch (view_.AskYesNoCancel(UnsavedEditsQuestion(document_path_), Ui(u8"Geovant"))) {
    case Answer::kYes: return SaveDocument(kKmlFilter, ".kml", Ui(u8"保存"));
    case Answer::kNo: return true;
    case Answer::kCancel: return false;
  }
  return false;
}

// The document and the tag list are replaced only by a file that was read, and only after
// unsaved edits were saved or given up: a cancelled dialog or a failed read must not throw
// away an unsaved document. A UTF-8 or UTF-16 file goes into the box whole, characters that
// GBK lacks among them, so that a save gives it back byte for byte; the tag list and the
// commands see the box's text in GBK.
bool MainCommands::OpenDocument(const std::string& path, OpenMode mode) {
  view_.ShowBusy();
  Pattern tag_pattern;
  if (mode == OpenMode::kButton && !tag_pattern.Compile(kTagPattern, /*ignore_case=*/false)) {
    view_.ShowMessage(Ui(u8"创建正则表达式失败。请检查参数！"), Ui(u8"提取"), MessageIcon::kError);
    return false;
  }
  std::string bytes;
  bool archive = false;
  FileStatus status = ReadKmlFile(path, &bytes, &archive);
  if (!status.ok) {
    view_.ShowMessage(ReadErrorMessage(path, status.reason), Ui(u8"打开"), MessageIcon::kError);
    return false;
  }
  if (!MayDiscardEdits()) return false;
  bool read_as_gbk = false;
  const Encoding encoding =
      mode == OpenMode::kMenu ? Encoding::kAnsi : ReadingEncoding(bytes, ChosenEncoding(), &read_as_gbk);
  document_form_ = FormOf(bytes, encoding);
  size_t lacking = 0;
  std::string document;  // what the commands see: the box's text in GBK
  if (document_form_.utf16 || document_form_.encoding == Encoding::kUtf8) {
    std::string text = document_form_.utf16 ? Utf16ToUtf8(bytes) : std::move(bytes);
    if (document_form_.utf8_mark) text.erase(0, 3);
    TruncateAtFirstZero(text);
    text = ValidUtf8(text);
    lacking = CharactersGbkLacks(text);
    view_.SetUnicodeText(Control::编辑框1, text);
    if (mode == OpenMode::kButton) document = Utf8ToAnsi(std::move(text));
  } else {
    document = BytesAsAnsiText(std::move(bytes));
    view_.SetText(Control::编辑框1, document);
  }
  view_.SetModified(Control::编辑框1, false);
  通用对话框1.file_name = archive ? ReplaceExtension(path, ".kml") : path;
  document_path_ = path;
  view_.SetDocumentName(std::string(FileNameOf(path)) + (read_as_gbk ? Ui(u8"（按 GBK 读入）") : ""));
  view_.SetText(Control::编辑框2, "");
  if (mode == OpenMode::kButton) {
    view_.ClearItems(Control::列表框2);
    view_.AddItems(Control::列表框2, BuildTagIndex(tag_pattern, document));
  }
  if (lacking) view_.ShowMessage(LackingCharactersMessage(path, lacking), Ui(u8"打开"), MessageIcon::kInformation);
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
  if (ShowOpenDialog(&path)) OpenDocument(path, OpenMode::kMenu);
}

bool MainCommands::SaveDocument(const std::string& filter, const char* extension, const std::string& command) {
  通用对话框1.kind = FileDialog::Kind::kSave;
  通用对话框1.filter = filter;
  通用对话框1.title = command;
  const bool confirmed = view_.ShowFileDialog(通用对话框1);
  通用对话框1.title.clear();
  bool saved = false;
  if (confirmed) {
    std::string path = extension ? WithExtension(通用对话框1.file_name, extension) : 通用对话框1.file_name;
    // The bytes agree with the document's XML declaration: a UTF-8 document stays UTF-8, with
    // every character it holds.
    if (WriteFiles({{path, BytesToSave(view_.UnicodeText(Control::编辑框1), document_form_)}}, command)) {
      saved = true;
      document_path_ = path;
      view_.SetDocumentName(std::string(FileNameOf(path)));
      view_.SetModified(Control::编辑框1, false);
    }
  }
  通用对话框1.file_name.clear();
  return saved;
}

void MainCommands::OnSave() { SaveDocument(kKmlFilter, ".kml", Ui(u8"保存")); }

void MainCommands::OnSaveAs() { SaveDocument(kAllFilesFilter, nullptr, Ui(u8"另存为")); }

void MainCommands::OnAnalyse(GeometryKind kind) {
  view_.ShowBusy();
  AnalysisReport report = Analyse(geometry_, kind, MakeDocument(view_.Text(Control::编辑框1)));
  view_.ShowMessage(AnsiToUtf8(report.message), "", MessageIcon::kNone);
  view_.SetText(Control::编辑框2, report.result_text);
}

ConversionOptions MainCommands::ExportOptions(int type) const {
  ConversionOptions options = type >= kMifWithMidType ? ConversionOptions::All() : ConversionOptions();
  options.crs = export_crs_;
  options.description_fields = 通用对话框2.coordinate_system->description_fields;
  options.altitude = 通用对话框2.coordinate_system->altitude;
  return options;
}

std::vector<MainCommands::OutputFile> MainCommands::ExportFiles(const ExportSource& source, const std::string& path,
                                                                int type, ConversionReport* report) {
  // The conversion of `geovant convert [--all] [--crs ...]`: with --all, a MIF file and the MID
  // file beside it.
  const ConversionOptions options = ExportOptions(type);
  ConvertedText converted = ConvertInMemory(source, options);
  *report = converted.report;
  if (type == kTabType) return TableFiles(path, converted.mif, converted.mid);
  if (!options.Table()) return {{path, std::move(converted.mif)}};
  return {{path, std::move(converted.mif)}, {MidPathFor(path), std::move(converted.mid)}};
}

std::vector<MainCommands::OutputFile> MainCommands::TableFiles(const std::string& path, std::string_view mif,
                                                               std::string_view mid) {
  TabFiles table;
  TabReport report;
  if (!TabTableInMemory(mif, &mid, 1, &table, &report)) {  // one thread, as the window's export
    table_error_ = report.error;
    return {};
  }
  const TabCompanions companions = CompanionsOf(path);
  return {{path, std::move(table.tab)},
          {companions.dat, std::move(table.dat)},
          {companions.map, std::move(table.map)},
          {companions.id, std::move(table.id)}};
}

std::vector<std::string> MainCommands::OutputPaths(const std::string& path, int type) const {
  if (type == kTabType) {
    const TabCompanions companions = CompanionsOf(path);
    return {path, companions.dat, companions.map, companions.id};
  }
  if (ExportOptions(type).Table()) return {path, MidPathFor(path)};
  return {path};
}

void MainCommands::OnExportMif() {
  view_.ShowBusy();
  // The export reads every character of the box: those GBK lacks are counted where they
  // become "?" in the MID file.
  const std::string document = view_.UnicodeText(Control::编辑框1);
  const ExportSource source{document, Encoding::kUtf8};
  // The MIF file of the first type is made before the message, as it always was.
  ConvertedText first = ConvertInMemory(source, ConversionOptions());
  view_.ShowMessage(Ui(u8"解析完毕 "), "", MessageIcon::kNone);
  通用对话框2.kind = FileDialog::Kind::kSave;
  通用对话框2.filter = kMifFilter;
  通用对话框2.title = kExportCommand;
  if (!document_path_.empty()) 通用对话框2.file_name = ReplaceExtension(document_path_, ".mif");
  if (view_.ShowFileDialog(通用对话框2)) {
    std::string error;
    if (!ChosenCoordinateSystem(*通用对话框2.coordinate_system, &export_crs_, &error)) {
      export_crs_ = CoordinateSystem();
      view_.ShowMessage(error, kExportCommand, MessageIcon::kError);
      通用对话框2.file_name.clear();
      return;
    }
    const int type = 通用对话框2.filter_index;
    std::string path = WithExtension(通用对话框2.file_name, ExtensionOf(type));
    ConversionReport report = first.report;
    std::vector<OutputFile> files;
    if (ExportOptions(type).Any()) {
      view_.ShowBusy();
      files = ExportFiles(source, path, type, &report);
    } else {
      files = {{path, std::move(first.mif)}};
    }
    if (report.zone_refused) {
      view_.ShowMessage(RefusedZoneMessage(report, export_crs_), kExportCommand, MessageIcon::kError);
    } else if (report.records_unread) {
      view_.ShowMessage(kRecordsUnread, kExportCommand, MessageIcon::kError);
    } else if (files.empty()) {
      view_.ShowMessage(TableErrorMessage(table_error_), kExportCommand, MessageIcon::kError);
    } else if (WriteFiles(files, kExportCommand, files.size() == 1 ? StaleMidBeside(path) : "")) {
      // A MIF file written alone took away the MID file of the MIF file it replaced.
      std::vector<std::string> written;
      for (const OutputFile& file : files) written.push_back(file.path);
      view_.ShowMessage(ExportMessage(written, report, export_crs_), kExportCommand, MessageIcon::kInformation);
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

// Several files at once: their file type and coordinate system are asked once, in a dialog of
// 生成MIF's choices, which keeps the choice for the run as the Save dialog does.
void MainCommands::ConvertFiles(const std::vector<std::string>& paths) {
  BatchChoice choice{FileTypesOf(kMifFilter), 通用对话框2.filter_index, *通用对话框2.coordinate_system};
  if (!view_.ShowBatchDialog(choice)) return;
  CoordinateSystem crs;
  std::string error;
  if (!ChosenCoordinateSystem(choice.coordinate_system, &crs, &error)) {
    view_.ShowMessage(error, kExportCommand, MessageIcon::kError);
    return;
  }
  通用对话框2.filter_index = choice.file_type;
  *通用对话框2.coordinate_system = choice.coordinate_system;
  export_crs_ = crs;
  const int type = std::clamp(choice.file_type, 1, kTabType);
  if (choice.merge) return MergeFiles(paths, type);
  view_.ShowBusy();
  std::vector<std::string> existing;
  for (const std::string& path : paths) {
    for (const std::string& out : OutputPaths(ReplaceExtension(path, ExtensionOf(type)), type)) {
      if (KindOf(out) == PathKind::kFile) existing.push_back(out);
    }
  }
  if (!existing.empty() && !view_.AskYesNo(ReplaceQuestion(existing), kExportCommand)) return;
  std::vector<BatchOutcome> outcomes;
  std::string last_read;
  for (const std::string& path : paths) {
    BatchOutcome outcome{path, {}, "", ""};
    std::string bytes;
    bool read_as_gbk = false;
    std::string decoded;
    ExportSource source;
    FileStatus status = ReadExportSource(path, &bytes, &decoded, &source, &read_as_gbk);
    if (status.ok) {
      last_read = path;
      const std::string mif = ReplaceExtension(path, ExtensionOf(type));
      ConversionReport report;
      std::vector<OutputFile> files = ExportFiles(source, mif, type, &report);
      std::vector<std::pair<std::string, std::string_view>> views;
      for (const OutputFile& file : files) views.emplace_back(file.path, file.bytes);
      std::string failed = path;
      status = report.zone_refused    ? FileStatus::Failed(RefusedZoneMessage(report, crs))
               : report.records_unread ? FileStatus::Failed(kRecordsUnread)
               : files.empty()         ? FileStatus::Failed(TableErrorMessage(table_error_))
                                       : WriteFilesTogether(views, files.size() == 1 ? StaleMidBeside(mif) : "", &failed);
      if (status.ok) {
        for (const OutputFile& file : files) outcome.written.push_back(file.path);
        std::vector<std::string> notes;
        if (read_as_gbk) notes.push_back(Ui(u8"按 GBK 读入。"));
        if (crs.Projected() && crs.zone == 0) notes.push_back(CoordinateSystemName(crs, report.zone));
        if (std::string more = ConversionNotes(report, crs, files.size() > 1); !more.empty()) notes.push_back(more);
        for (const std::string& note : notes) outcome.notes += (outcome.notes.empty() ? "" : Ui(u8"\r\n")) + note;
      } else if (failed != path) {
        status.reason = WriteErrorMessage(failed, status.reason);
      }
    }
    if (!status.ok) outcome.reason = status.reason;
    outcomes.push_back(std::move(outcome));
  }
  bool all_written = true;
  for (const BatchOutcome& outcome : outcomes) all_written = all_written && !outcome.written.empty();
  const std::vector<std::string> types = FileTypesOf(kMifFilter);
  view_.ShowMessage(BatchSummary(types[static_cast<size_t>(type - 1)], crs, outcomes), kExportCommand,
                    all_written ? MessageIcon::kInformation : MessageIcon::kWarning);
  if (!last_read.empty()) OpenDocument(last_read);
}

FileStatus MainCommands::ReadExportSource(const std::string& path, std::string* bytes, std::string* decoded,
                                          ExportSource* source, bool* read_as_gbk) const {
  FileStatus status = ReadKmlFile(path, bytes);
  if (status.ok && !HoldsKmlElements(HasUtf16ByteOrderMark(*bytes) ? Utf16ToUtf8(*bytes) : *bytes)) {
    status = FileStatus::Failed(Ui(u8"不是 KML 文件。"));
  }
  // Read as the command line reads a file, so that both write the same bytes.
  if (status.ok) *source = SourceOf(*bytes, ReadingEncoding(*bytes, ChosenEncoding(), read_as_gbk), decoded);
  return status;
}

void MainCommands::MergeFiles(const std::vector<std::string>& paths, int type) {
  FileDialog save;
  save.kind = FileDialog::Kind::kSave;
  save.filter = type == kTabType ? Ui(u8"MapInfo TAB表|*.tab") : Ui(u8"MIF文件|*.mif");
  save.title = kExportCommand;
  // Beside the first file.
  save.file_name = paths[0].substr(0, paths[0].size() - FileNameOf(paths[0]).size()) + Ui(u8"合并") + ExtensionOf(type);
  if (!view_.ShowFileDialog(save)) return;
  const std::string mif = WithExtension(save.file_name, ExtensionOf(type));
  view_.ShowBusy();
  std::vector<std::string> bytes(paths.size()), decoded(paths.size());
  std::vector<ExportInput> inputs;
  std::string failures;
  for (size_t i = 0; i < paths.size(); ++i) {
    ExportSource source;
    const FileStatus status = ReadExportSource(paths[i], &bytes[i], &decoded[i], &source);
    if (!status.ok) {
      failures += Ui(u8"\r\n") + std::string(FileNameOf(paths[i])) + Ui(u8"：") + status.reason;
      continue;
    }
    inputs.push_back({source, Utf8ToAnsi(std::string(FileNameOf(paths[i])))});
  }
  if (inputs.empty()) {
    view_.ShowMessage(Ui(u8"没有可以合并的文件。") + failures, kExportCommand, MessageIcon::kError);
    return;
  }
  ConvertedText merged;
  auto append_to = [](std::string& text) {
    return [&text](std::string_view piece) {
      text.append(piece);
      return true;
    };
  };
  ExportMerged(inputs, ExportOptions(type), 1, append_to(merged.mif), append_to(merged.mid), &merged.report);
  if (merged.report.zone_refused) {
    view_.ShowMessage(RefusedZoneMessage(merged.report, export_crs_), kExportCommand, MessageIcon::kError);
    return;
  }
  if (merged.report.records_unread) {
    view_.ShowMessage(kRecordsUnread, kExportCommand, MessageIcon::kError);
    return;
  }
  const std::vector<OutputFile> files = type == kTabType
                                            ? TableFiles(mif, merged.mif, merged.mid)
                                            : std::vector<OutputFile>{{mif, std::move(merged.mif)}, {MidPathFor(mif), std::move(merged.mid)}};
  if (files.empty()) {
    view_.ShowMessage(TableErrorMessage(table_error_), kExportCommand, MessageIcon::kError);
    return;
  }
  if (!WriteFiles(files, kExportCommand)) return;
  std::vector<std::string> written;
  for (const OutputFile& file : files) written.push_back(file.path);
  std::string text = Ui(u8"已合并 ") + std::to_string(inputs.size()) + Ui(u8" 个文件（共 ") + std::to_string(paths.size()) +
                     Ui(u8" 个）。\r\n") + ExportMessage(written, merged.report, export_crs_);
  if (!failures.empty()) text += Ui(u8"\r\n\r\n未能读入：") + failures;
  view_.ShowMessage(text, kExportCommand, failures.empty() ? MessageIcon::kInformation : MessageIcon::kWarning);
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

bool MainCommands::OnCloseRequested() { return MayDiscardEdits(); }

void MainCommands::OnUserGuide() {
  if (view_.ShowUserGuide()) return;
  view_.ShowMessage(Ui(u8"找不到用户指南 UserGuide.html：它应在程序所在的文件夹中。"), Ui(u8"用户指南"), MessageIcon::kError);
}

void MainCommands::OnAbout() { view_.ShowMessage(AboutText(), Ui(u8"关于 Geovant"), MessageIcon::kInformation); }
