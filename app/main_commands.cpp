#include "app/main_commands.h"

#include "document/file_io.h"
#include "document/file_names.h"
#include "document/kmz.h"
#include "document/text_io.h"
#include "features/feature_export.h"
#include "mif/analysis.h"
#include "mif/mif_export.h"
#include "tags/tag_index.h"

const char kKmlFilter[] = "KML文件|*.kml";
const char kMifFilter[] = "MIF文件|*.mif|MIF+MID（属性、样式、内环、轨迹）|*.mif";

std::string ReadErrorMessage(const std::string& path, const std::string& reason) {
  return "无法读取文件“" + path + "”：" + reason;
}

std::string WriteErrorMessage(const std::string& path, const std::string& reason) {
  return "无法写入文件“" + path + "”：" + reason + "\r\n\r\n原有的文件保持不变。";
}

std::string ReplaceQuestion(const std::vector<std::string>& paths) {
  if (paths.size() == 1) return "“" + paths[0] + "”已存在。\r\n要替换它吗？";
  std::string names;
  for (const std::string& path : paths) names += (names.empty() ? "“" : "和“") + path + "”";
  return names + "已存在。\r\n要替换它们吗？";
}

MainCommands::MainCommands(MainView& view, GeometryState& geometry)
    : view_(view), geometry_(geometry) {}

void MainCommands::OnCreated() {
  view_.SetChecked(Control::单选框6, true);
  view_.SetChecked(Control::单选框5, false);
}

std::string KmzErrorReason(KmzError error) {
  switch (error) {
    case KmzError::kNone: return "";
    case KmzError::kDamaged: return "KMZ 压缩包已损坏。";
    case KmzError::kNoKml: return "KMZ 压缩包中没有 .kml 文件。";
    case KmzError::kEncrypted: return "KMZ 压缩包中的 KML 文件已加密。";
    case KmzError::kZip64: return "不支持 ZIP64 格式的 KMZ 压缩包。";
    case KmzError::kMethod: return "KMZ 压缩包中的 KML 文件使用了不支持的压缩方式。";
    case KmzError::kTooLarge: return "KMZ 压缩包中的 KML 文件大小与压缩包记载的不符。";
    case KmzError::kCrc: return "KMZ 压缩包中的 KML 文件已损坏（CRC 校验不符）。";
    case KmzError::kOutOfMemory: return "内存不足，无法解压 KMZ 压缩包。";
  }
  return "";
}

// The bytes of a KML file, or of the KML document in a KMZ archive; a failure is shown.
bool MainCommands::ReadDocumentFile(const std::string& path, const char* command,
                                    std::string* bytes) {
  FileStatus status = ReadWholeFile(path, bytes);
  if (status.ok && IsKmz(*bytes)) {
    std::string kml;
    KmzError error = ExtractKml(*bytes, &kml);
    if (error != KmzError::kNone) status = FileStatus::Failed(KmzErrorReason(error));
    *bytes = std::move(kml);
    // Save writes the text as KML, beside the archive, never into it.
    if (status.ok) 通用对话框1.file_name = ReplaceExtension(path, ".kml");
  }
  if (!status.ok) view_.ShowMessage(ReadErrorMessage(path, status.reason), command, MessageIcon::kError);
  return status.ok;
}

// The Open dialogs offer KMZ files beside KML files: the designed filter gains a second pair
// while the dialog is shown, and keeps its own.
bool MainCommands::ShowOpenDialog() {
  通用对话框1.kind = FileDialog::Kind::kOpen;
  FileDialog shown = 通用对话框1;
  if (shown.filter == kKmlFilter) shown.filter += "|KMZ文件|*.kmz";
  if (!view_.ShowFileDialog(shown)) return false;
  通用对话框1.file_name = shown.file_name;
  return true;
}

void MainCommands::WriteFile(const std::string& path, std::string_view bytes, const char* command) {
  WriteFiles({{path, bytes}}, command);
}

void MainCommands::WriteFiles(const std::vector<std::pair<std::string, std::string_view>>& files, const char* command) {
  std::vector<std::string> existing;
  for (const auto& file : files) {
    if (KindOf(file.first) == PathKind::kFile) existing.push_back(file.first);
  }
  if (!existing.empty() && !view_.AskYesNo(ReplaceQuestion(existing), command)) return;
  for (const auto& [path, bytes] : files) {
    FileStatus status = WriteWholeFile(path, bytes);
    if (!status.ok) {
      view_.ShowMessage(WriteErrorMessage(path, status.reason), command, MessageIcon::kError);
      return;
    }
  }
}

void MainCommands::OnOpenButton() {
  if (ShowOpenDialog()) OpenDocument(通用对话框1.file_name);
}

void MainCommands::OnFileGiven(const std::string& path) {
  通用对话框1.file_name = path;
  OpenDocument(path);
}

// The document and the tag list are replaced only by a file that was read: a cancelled
// dialog or a failed read must not throw away an unsaved document.
void MainCommands::OpenDocument(const std::string& path) {
  view_.ShowBusy();
  Pattern tag_pattern;
  if (!tag_pattern.Compile(kTagPattern, /*ignore_case=*/false)) {
    view_.ShowMessage("创建正则表达式失败。请检查参数！", "提取", MessageIcon::kError);
    return;
  }
  std::string bytes;
  if (!ReadDocumentFile(path, "打开", &bytes)) return;
  Encoding encoding = view_.IsChecked(Control::单选框5) ? Encoding::kAnsi : Encoding::kUtf8;
  view_.SetText(Control::编辑框1, DecodeDocument(std::move(bytes), encoding));
  view_.ClearItems(Control::列表框2);
  view_.AddItems(Control::列表框2, BuildTagIndex(tag_pattern, view_.Text(Control::编辑框1)));
}

void MainCommands::OnOpenMenu() {
  if (!ShowOpenDialog()) return;
  std::string bytes;
  if (!ReadDocumentFile(通用对话框1.file_name, "打开", &bytes)) return;
  view_.SetText(Control::编辑框1, BytesAsAnsiText(std::move(bytes)));
}

void MainCommands::SaveDocument(const char* filter, const char* extension, const char* command) {
  通用对话框1.kind = FileDialog::Kind::kSave;
  通用对话框1.filter = filter;
  if (view_.ShowFileDialog(通用对话框1)) {
    std::string path = extension ? WithExtension(通用对话框1.file_name, extension) : 通用对话框1.file_name;
    WriteFile(path, TextToBytes(view_.Text(Control::编辑框1)), command);
  }
  通用对话框1.file_name.clear();
}

void MainCommands::OnSave() { SaveDocument(kKmlFilter, ".kml", "保存"); }

void MainCommands::OnSaveAs() { SaveDocument("所有文件|*.*", nullptr, "另存为"); }

void MainCommands::OnAnalyse(GeometryKind kind) {
  view_.ShowBusy();
  AnalysisReport report = Analyse(geometry_, kind, MakeDocument(view_.Text(Control::编辑框1)));
  view_.ShowMessage(report.message, "", MessageIcon::kNone);
  view_.SetText(Control::编辑框2, report.result_text);
}

void MainCommands::OnExportMif() {
  view_.ShowBusy();
  DocumentText document = MakeDocument(view_.Text(Control::编辑框1));
  std::string mif = BuildMifText(geometry_, document);
  view_.ShowMessage("解析完毕 ", "", MessageIcon::kNone);
  通用对话框2.kind = FileDialog::Kind::kSave;
  通用对话框2.filter = kMifFilter;
  通用对话框2.filter_index = 1;
  if (view_.ShowFileDialog(通用对话框2)) {
    std::string path = WithExtension(通用对话框2.file_name, ".mif");
    if (通用对话框2.filter_index == 2) {
      WriteWithAttributes(*document, path);
    } else {
      WriteFile(path, mif, "生成MIF");
    }
  }
  通用对话框2.file_name.clear();
}

// The second file type of the export: the conversion of `geovant convert --all`, a MIF file
// and the MID file beside it.
void MainCommands::WriteWithAttributes(const std::string& document, const std::string& path) {
  view_.ShowBusy();
  ConvertedText converted = ConvertInMemory(ExportSource{document, Encoding::kAnsi}, ConversionOptions{true, true, true, true});
  WriteFiles({{path, converted.mif}, {ReplaceExtension(path, ".mid"), converted.mid}}, "生成MIF");
}

void MainCommands::OnTagSelected() {
  view_.SetText(Control::编辑框2, "");
  std::optional<std::string> item = view_.SelectedItem(Control::列表框2);
  if (!item) return;
  view_.ShowBusy();
  view_.SetText(Control::编辑框2, ExtractElements(*item, view_.Text(Control::编辑框1)));
}

void MainCommands::OnExit() { view_.CloseWindow(); }
