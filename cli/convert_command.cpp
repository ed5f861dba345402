#include "cli/convert_command.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "document/file_io.h"
#include "document/file_names.h"
#include "document/input_file.h"
#include "document/kmz.h"
#include "mif/analysis.h"
#include "features/feature_export.h"
#include "mif/file_export.h"
#include "mif/mif_writer.h"
#include "tags/tag_index.h"

namespace {

constexpr size_t kOutputPiece = size_t{1} << 20;

std::mutex stderr_mutex;

void ReportFileError(const std::string& path, const std::string& reason) {
  std::lock_guard<std::mutex> lock(stderr_mutex);
  std::fprintf(stderr, "geovant: %s: %s\n", path == "-" ? "standard input" : path.c_str(),
               reason.c_str());
}

// An input's KML document: the file's bytes, mapped, or a KMZ archive's KML file, unpacked.
class Input {
 public:
  bool Open(const std::string& path) {
    FileStatus status = file_.Open(path);
    if (!status.ok) {
      ReportFileError(path, status.reason);
      return false;
    }
    KmzError error = KmlBytesOf(file_.bytes(), &unpacked_, &kml_);
    if (error != KmzError::kNone) ReportFileError(path, KmzErrorText(error));
    return error == KmzError::kNone;
  }
  std::string_view kml() const { return kml_; }

 private:
  InputFile file_;
  std::string unpacked_;
  std::string_view kml_;
};

bool LoadDocument(const std::string& path, Encoding encoding, DocumentText* document) {
  Input input;
  if (!input.Open(path)) return false;
  *document = MakeDocument(DecodeDocument(std::string(input.kml()), encoding));
  return true;
}

bool Emit(const std::string& path, std::string_view bytes) {
  FileStatus status = path == "-" ? WriteStandardOutput(bytes) : WriteWholeFile(path, bytes);
  if (!status.ok) ReportFileError(path == "-" ? "standard output" : path, status.reason);
  return status.ok;
}

int HardwareThreads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

// The input is searched as it lies in memory, and the MIF text goes to its file in pieces
// as they are built, so that a conversion holds little more than its input.
bool ConvertOneOrThrow(const Conversion& conversion, const CliOptions& options, int threads) {
  Input input;
  if (!input.Open(conversion.input)) return false;
  std::string decoded;
  ExportSource source = SourceOf(input.kml(), options.encoding, &decoded);
  const std::string& output = conversion.output;
  const bool to_standard_output = output == "-";
  FileReplacement mif, mid;
  std::string failed = to_standard_output ? "standard output" : output;
  FileStatus status = to_standard_output ? FileStatus() : mif.Open(output);
  if (status.ok && !conversion.mid.empty() && !(status = mid.Open(conversion.mid)).ok) failed = conversion.mid;
  ConversionReport report;
  if (status.ok) {
    ExportWithOptions(
        source, options.conversion, threads,
        [&](std::string_view piece) {
          status = to_standard_output ? WriteStandardOutput(piece) : mif.Write(piece);
          return status.ok;
        },
        [&](std::string_view piece) {
          status = mid.Write(piece);
          if (!status.ok) failed = conversion.mid;
          return status.ok;
        },
        &report);
    // The MID file first: a MIF file whose MID file failed would be read without it.
    if (status.ok && !conversion.mid.empty() && !(status = mid.Commit()).ok) failed = conversion.mid;
    if (status.ok && !to_standard_output) status = mif.Commit();
  }
  if (!status.ok) {
    ReportFileError(failed, status.reason);
    return false;
  }
  if (report.dropped_columns) {
    ReportFileError(conversion.input, std::to_string(report.dropped_columns) +
                                          " ExtendedData names beyond the 250 columns of a MIF file were left out");
  }
  if (report.cut_values) {
    ReportFileError(conversion.input, std::to_string(report.cut_values) + " values longer than 254 bytes were cut");
  }
  return true;
}

bool ConvertOne(const Conversion& conversion, const CliOptions& options, int threads) {
  try {
    return ConvertOneOrThrow(conversion, options, threads);
  } catch (const std::bad_alloc&) {
    ReportFileError(conversion.input, "not enough memory to convert it");
    return false;
  }
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

std::string OutputPathFor(const std::string& input, const std::string& output_option) {
  if (!output_option.empty()) return output_option;
  if (input == "-") return "-";
  if (KindOf(input) == PathKind::kOther) return "-";
  return ReplaceExtension(input, ".mif");
}

bool PlanConversions(const CliOptions& options, std::vector<Conversion>* plan, std::string* error) {
  const std::vector<std::string>& inputs = options.inputs;
  if (std::count(inputs.begin(), inputs.end(), "-") > 1) {
    *error = "standard input may be named only once";
    return false;
  }
  struct Written {
    std::string input, path;
    std::optional<FileIdentity> identity;  // nullopt: standard output, or nowhere
  };
  std::vector<Written> written;
  // Claims `path` for `input`: no other conversion may write it, and it must not be an input.
  auto claim = [&](const std::string& input, const std::string& path) {
    std::optional<FileIdentity> identity = path == "-" ? std::nullopt : IdentityOf(path);
    for (const Written& w : written) {
      if (w.path != path && !(identity && w.identity == identity)) continue;
      std::string where = path == "-" ? "to standard output" : Quoted(path);
      *error = w.input == input ? "the MIF and the MID file of " + Quoted(input) + " would both be " + where
                                : Quoted(w.input) + " and " + Quoted(input) + " would both write " + where;
      return false;
    }
    if (identity && identity->name.empty()) {  // an existing file: it must not be an input
      for (const std::string& other : inputs) {
        if (other == "-" || IdentityOf(other) != identity) continue;
        *error = IdentityOf(input) == identity ? Quoted(input) + " would be written over itself"
                                               : Quoted(input) + " would write over the input " + Quoted(other);
        return false;
      }
    }
    written.push_back({input, path, identity});
    return true;
  };
  plan->clear();
  for (const std::string& input : inputs) {
    Conversion conversion{input, OutputPathFor(input, options.output), ""};
    if (options.conversion.attributes) {
      if (conversion.output == "-" || KindOf(conversion.output) == PathKind::kOther) {
        *error = "--attributes writes a MID file beside the MIF file, which " + Quoted(input) +
                 " cannot have on a stream: name the output with -o";
        return false;
      }
      conversion.mid = ReplaceExtension(conversion.output, ".mid");
    }
    if (!claim(input, conversion.output) || (!conversion.mid.empty() && !claim(input, conversion.mid))) return false;
    plan->push_back(std::move(conversion));
  }
  return true;
}

int RunConvert(const CliOptions& options) {
  std::vector<Conversion> plan;
  std::string error;
  if (!PlanConversions(options, &plan, &error)) {
    std::fprintf(stderr, "geovant: %s\n", error.c_str());
    return 2;
  }
  // One input uses every core; several convert side by side, one core each.
  const int threads_per_input = plan.size() == 1 ? HardwareThreads() : 1;
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (size_t i = next++; i < plan.size(); i = next++) {
      if (!ConvertOne(plan[i], options, threads_per_input)) failed = true;
    }
  };
  size_t workers = std::min<size_t>(plan.size(), static_cast<size_t>(HardwareThreads()));
  std::vector<std::thread> threads;
  try {
    for (size_t t = 1; t < workers; ++t) threads.emplace_back(work);
  } catch (const std::system_error&) {
    // No thread to be had (a process limit): the threads started, and this one, do the work.
  }
  work();
  for (std::thread& t : threads) t.join();
  return failed ? 1 : 0;
}

int RunAnalyse(const CliOptions& options) {
  Input input;
  if (!input.Open(options.inputs[0])) return 1;
  std::string decoded;
  std::array<size_t, 3> counts = CountGeometry(SourceOf(input.kml(), options.encoding, &decoded), HardwareThreads());
  std::string lines = "points: " + std::to_string(counts[0]) + "\nlines: " + std::to_string(counts[1]) +
                      "\npolygons: " + std::to_string(counts[2]) + "\n";
  return Emit("-", lines) ? 0 : 1;
}

int RunTags(const CliOptions& options) {
  Input input;
  if (!input.Open(options.inputs[0])) return 1;
  std::string decoded;
  ExportSource source = SourceOf(input.kml(), options.encoding, &decoded);
  MifWriter lines;
  lines.Reserve(kOutputPiece + 4096);
  bool ok = true;
  ForEachTagItemOfFile(source.text, source.encoding, [&](std::string_view item) {
    char* p = Put(lines.Claim(item.size() + 1), item);
    *p++ = '\n';
    lines.Advance(p);
    if (lines.text().size() >= kOutputPiece) {
      ok = ok && Emit("-", lines.text());
      lines.Clear();
    }
  });
  return ok && Emit("-", lines.text()) ? 0 : 1;
}

int RunExtract(const CliOptions& options) {
  DocumentText document;
  if (!LoadDocument(options.inputs[0], options.encoding, &document)) return 1;
  bool compiled = true;
  std::string text = ExtractElements(options.tag, *document, &compiled);
  if (!compiled) {
    std::fprintf(stderr, "geovant: %s is not a pattern that can be searched for\n", Quoted(options.tag).c_str());
    return 1;
  }
  return Emit("-", text) ? 0 : 1;
}
