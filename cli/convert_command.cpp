#include "cli/convert_command.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "cli/background_writer.h"
#include "document/file_io.h"
#include "document/file_names.h"
#include "mif/analysis.h"
#include "mif/mif_export.h"
#include "tags/tag_index.h"

namespace {

std::mutex stderr_mutex;

void ReportFileError(const std::string& path, const std::string& reason) {
  std::lock_guard<std::mutex> lock(stderr_mutex);
  std::fprintf(stderr, "geovant: %s: %s\n", path == "-" ? "standard input" : path.c_str(),
               reason.c_str());
}

bool LoadDocument(const std::string& path, Encoding encoding, DocumentText* document) {
  std::string bytes;
  FileStatus status = path == "-" ? ReadStandardInput(&bytes) : ReadWholeFile(path, &bytes);
  if (!status.ok) {
    ReportFileError(path, status.reason);
    return false;
  }
  *document = MakeDocument(DecodeDocument(std::move(bytes), encoding));
  return true;
}

bool Emit(const std::string& path, std::string_view bytes) {
  FileStatus status = path == "-" ? WriteStandardOutput(bytes) : WriteWholeFile(path, bytes);
  if (!status.ok) ReportFileError(path == "-" ? "standard output" : path, status.reason);
  return status.ok;
}

// The MIF text goes to its file in pieces as it is built, so that a conversion holds little
// more than its input, and the writing of one piece overlaps the building of the next.
bool ConvertOneOrThrow(const std::string& input, const CliOptions& options) {
  DocumentText document;
  if (!LoadDocument(input, options.encoding, &document)) return false;
  const std::string output = OutputPathFor(input, options.output);
  const bool to_standard_output = output == "-";
  FileReplacement file;
  FileStatus status = to_standard_output ? FileStatus() : file.Open(output);
  if (status.ok) {
    BackgroundWriter writer([&](std::string_view piece) {
      return to_standard_output ? WriteStandardOutput(piece) : file.Write(piece);
    });
    MifWriter mif([&](std::string_view piece) { return writer.Push(piece); });
    GeometryState state;
    WriteMifText(state, document, mif);
    status = writer.Finish();
    if (status.ok && !to_standard_output) status = file.Commit();
  }
  if (!status.ok) ReportFileError(to_standard_output ? "standard output" : output, status.reason);
  return status.ok;
}

bool ConvertOne(const std::string& input, const CliOptions& options) {
  try {
    return ConvertOneOrThrow(input, options);
  } catch (const std::bad_alloc&) {
    ReportFileError(input, "not enough memory to convert it");
    return false;
  }
}

}  // namespace

std::string OutputPathFor(const std::string& input, const std::string& output_option) {
  if (!output_option.empty()) return output_option;
  if (input == "-") return "-";
  return ReplaceExtension(input, ".mif");
}

int RunConvert(const CliOptions& options) {
  const std::vector<std::string>& inputs = options.inputs;
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (size_t i = next++; i < inputs.size(); i = next++) {
      if (!ConvertOne(inputs[i], options)) failed = true;
    }
  };
  size_t workers = std::min<size_t>(inputs.size(), std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> threads;
  for (size_t t = 1; t < workers; ++t) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  return failed ? 1 : 0;
}

int RunAnalyse(const CliOptions& options) {
  DocumentText document;
  if (!LoadDocument(options.inputs[0], options.encoding, &document)) return 1;
  GeometryState state;
  std::string lines;
  const std::pair<GeometryKind, const char*> kinds[] = {
      {GeometryKind::kPoint, "points"}, {GeometryKind::kLine, "lines"}, {GeometryKind::kPolygon, "polygons"}};
  for (const auto& [kind, label] : kinds) {
    lines += label;
    lines += ": " + std::to_string(ElementSearch(state, kind, document).size()) + "\n";
  }
  return Emit("-", lines) ? 0 : 1;
}

int RunTags(const CliOptions& options) {
  DocumentText document;
  if (!LoadDocument(options.inputs[0], options.encoding, &document)) return 1;
  Pattern tag_pattern;
  tag_pattern.Compile(kTagPattern, /*ignore_case=*/false);
  std::string lines;
  for (const std::string& item : BuildTagIndex(tag_pattern, *document)) {
    lines += item;
    lines += '\n';
  }
  return Emit("-", lines) ? 0 : 1;
}

int RunExtract(const CliOptions& options) {
  DocumentText document;
  if (!LoadDocument(options.inputs[0], options.encoding, &document)) return 1;
  return Emit("-", ExtractElements(options.tag, *document)) ? 0 : 1;
}
