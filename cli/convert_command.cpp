#include "cli/convert_command.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <cstdio>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/console.h"
#include "cli/processors.h"
#include "cli/report_lines.h"
#include "document/declared_encoding.h"
#include "document/encoding.h"
#include "document/file_io.h"
#include "document/file_names.h"
#include "document/input_file.h"
#include "document/kmz.h"
#include "mif/analysis.h"
#include "features/feature_export.h"
#include "features/network_links.h"
#include "mif/file_export.h"
#include "mif/mif_writer.h"
#include "mif/table_files.h"
#include "tab/tab_table.h"
#include "tags/tag_index.h"

namespace {

void ReportFileError(const std::string& path, const std::string& reason) {
  PrintError("geovant: " + (path == "-" ? std::string("standard input") : path) + ": " + reason);
}

// How an input is read: as --encoding says, or else as its XML declaration says. Where the
// text that is written depends on it, a file that would be read as UTF-8 but is no valid
// UTF-8 and valid GBK is read as GBK, and one line says so.
Encoding EncodingOf(const CliOptions& options, std::string_view kml, const std::string& path = "",
                    bool text_is_written = false) {
  bool read_as_gbk = false;
  Encoding encoding = options.encoding_given ? options.encoding
                                             : ReadingEncoding(kml, Encoding::kUtf8, text_is_written ? &read_as_gbk : nullptr);
  if (options.encoding_given && encoding == Encoding::kUtf8 && text_is_written && IsGbkButNoUtf8(kml)) {
    read_as_gbk = true;
    encoding = Encoding::kAnsi;
  }
  if (read_as_gbk) ReportFileError(path, "read as GBK: the file is no valid UTF-8, but valid GBK");
  return encoding;
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
    KmzError error = KmzError::kNone;
    kml_ = file_.bytes();
    if (IsKmz(kml_)) {
      error = ExtractKml(kml_, &unpacked_, &entry_);
      kml_ = unpacked_;
    }
    if (error != KmzError::kNone) ReportFileError(path, KmzErrorText(error));
    return error == KmzError::kNone;
  }
  std::string_view kml() const { return kml_; }
  bool archive() const { return !entry_.empty(); }

  // With --links, the documents that the archive's NetworkLinks name take their places; without,
  // a document that has links and no geometry says so. Returns the encoding that the document
  // is read with from now on: a UTF-16 document of an archive is decoded first, to ANSI.
  Encoding FollowLinksOf(const std::string& path, bool follow, Encoding encoding) {
    if (!archive()) return encoding;
    if (HasUtf16ByteOrderMark(kml_)) {
      linked_ = DecodeDocument(std::string(kml_), Encoding::kAnsi);
      kml_ = linked_;
      encoding = Encoding::kAnsi;
    }
    if (!follow) {
      size_t links = FindNetworkLinks(kml_, encoding).size();
      std::string decoded;
      std::array<size_t, 3> counts = CountGeometry(SourceOf(kml_, encoding, &decoded), 1);
      if (links > 0 && counts[0] + counts[1] + counts[2] == 0) {
        ReportFileError(path, "the document holds no geometry but " + GroupedDigits(links) +
                                  " NetworkLinks: --links follows those that lead to documents inside the archive");
      }
      return encoding;
    }
    FollowedLinks followed = FollowLinks(file_.bytes(), entry_, kml_, encoding);
    for (const std::string& line : LinkLines(followed)) ReportFileError(path, line);
    linked_ = std::move(followed.text);
    kml_ = linked_;
    return encoding;
  }

 private:
  InputFile file_;
  std::string unpacked_;
  std::string entry_;   // the archive's entry read, empty for a KML file
  std::string linked_;  // the document with its linked documents in place
  std::string_view kml_;
};

bool LoadDocument(const std::string& path, const CliOptions& options, DocumentText* document) {
  Input input;
  if (!input.Open(path)) return false;
  *document = MakeDocument(DecodeDocument(std::string(input.kml()), EncodingOf(options, input.kml(), path, true)));
  return true;
}

bool Emit(const std::string& path, std::string_view bytes) {
  FileStatus status = path == "-" ? WriteStandardOutput(bytes) : WriteWholeFile(path, bytes);
  if (!status.ok) ReportFileError(path == "-" ? "standard output" : path, status.reason);
  return status.ok;
}


// The input is searched as it lies in memory, and the MIF text goes to its file in pieces
// as they are built, so that a conversion holds little more than its input. The MIF file and
// its MID file are put in place together, or neither is; a MIF file written without a MID
// file takes away the MID file of the MIF file it replaces, in the same step.
using ExportWith = std::function<void(const MifSink& mif, const MifSink& mid, ConversionReport* report,
                                      const SinkRewind* rewind)>;

// Writes the files of `conversion` with export_with, which writes them to the sinks; `about`
// is what the lines of its report name; `threads` are the export's.
bool WriteTabConversion(const Conversion& conversion, const std::string& about, const CliOptions& options,
                        int threads, const ExportWith& export_with);

bool WriteConversion(const Conversion& conversion, const std::string& about, const CliOptions& options, int threads,
                     const ExportWith& export_with) {
  if (conversion.tab) return WriteTabConversion(conversion, about, options, threads, export_with);
  const std::string& output = conversion.output;
  const bool to_standard_output = output == "-";
  const std::string stale = to_standard_output || !conversion.mid.empty() ? "" : StaleMidBeside(output);
  FileReplacement mif, mid;
  std::string failed = to_standard_output ? "standard output" : output;
  FileStatus status = to_standard_output ? FileStatus() : mif.Open(output);
  if (status.ok && !conversion.mid.empty() && !(status = mid.Open(conversion.mid)).ok) failed = conversion.mid;
  if (status.ok && !stale.empty() && !(status = mid.OpenRemoval(stale)).ok) failed = stale;
  ConversionReport report;
  // A projected file is written once and its header put in place at the end, where both files
  // can be gone over again.
  const bool rewindable = !to_standard_output && mif.Rewindable() && (conversion.mid.empty() || mid.Rewindable());
  const SinkRewind rewind{[&](std::string_view head) {
                            status = mif.OverwriteStart(head);
                            return status.ok;
                          },
                          [&] {
                            status = mif.Restart();
                            if (status.ok && !conversion.mid.empty() && !(status = mid.Restart()).ok) failed = conversion.mid;
                            return status.ok;
                          }};
  if (status.ok) {
    export_with(
        [&](std::string_view piece) {
          status = to_standard_output ? WriteStandardOutput(piece) : mif.Write(piece);
          return status.ok;
        },
        [&](std::string_view piece) {
          status = mid.Write(piece);
          if (!status.ok) failed = conversion.mid;
          return status.ok;
        },
        &report, rewindable ? &rewind : nullptr);
  }
  if (status.ok && report.records_unread) {
    status = FileStatus::Failed("the placemarks' values could not be read back from a temporary file");
  }
  if (status.ok && report.zone_refused) {
    ReportFileError(about, RefusedZoneLine(report, options.conversion.crs));
    return false;
  }
  if (status.ok && !to_standard_output) {
    const std::string second = conversion.mid.empty() ? stale : conversion.mid;
    if (second.empty()) {
      status = mif.Commit();
    } else {
      size_t failed_index = 0;
      status = CommitTogether({&mif, &mid}, &failed_index);
      if (!status.ok) {
        failed = failed_index == 0 ? output : second;
        status.reason += "; " + output + " and " + second + " are left as they were";
      }
    }
  }
  if (!status.ok) {
    ReportFileError(failed, status.reason);
    return false;
  }
  if (!stale.empty()) {
    ReportFileError(stale, "removed: it was the MID file of the MIF file replaced, and no longer belongs to it");
  }
  for (const std::string& line : ReportLines(report, options.conversion)) ReportFileError(about, line);
  return true;
}

// A table in MapInfo's native form: the MIF and MID text of the export become the four files
// of the table as they are written, and the four are put in place together or not at all.
bool WriteTabConversion(const Conversion& conversion, const std::string& about, const CliOptions& options,
                        int threads, const ExportWith& export_with) {
  const TabCompanions companions = CompanionsOf(conversion.output);
  const std::string* paths[] = {&conversion.output, &companions.dat, &companions.map, &companions.id};
  FileReplacement files[4];
  FileStatus status;
  std::string failed;
  for (int f = 0; f < 4 && status.ok; ++f) {
    if (!(status = files[f].Open(*paths[f])).ok) failed = *paths[f];
  }
  auto sink = [&](int f) {
    return [&, f](std::string_view piece) {
      if (status.ok && !(status = files[f].Write(piece)).ok) failed = *paths[f];
      return status.ok;
    };
  };
  auto start = [&](int f) {
    return [&, f](std::string_view piece) {
      if (status.ok && !(status = files[f].OverwriteStart(piece)).ok) failed = *paths[f];
      return status.ok;
    };
  };
  const TabSinks sinks{sink(0), sink(1), sink(2), sink(3), start(1), start(2), [&] {
                         for (int f = 0; f < 4 && status.ok; ++f) {
                           if (!(status = files[f].Restart()).ok) failed = *paths[f];
                         }
                         return status.ok;
                       }};
  TabReport table;
  ConversionReport report;
  const bool written = status.ok && WriteTabTable(
                                        [&](const TextSink& mif, const TextSink& mid) {
                                          report = ConversionReport();
                                          export_with(mif, mid, &report, nullptr);
                                        },
                                        options.conversion.Table() || options.merge, threads, sinks, &table);
  if (report.records_unread) {
    ReportFileError(conversion.output, "the placemarks' values could not be read back from a temporary file");
    return false;
  }
  if (report.zone_refused) {
    ReportFileError(about, RefusedZoneLine(report, options.conversion.crs));
    return false;
  }
  if (status.ok && !written) status = FileStatus::Failed("the table could not be made: " + table.error);
  if (status.ok) {
    size_t failed_index = 0;
    status = CommitTogether({&files[0], &files[1], &files[2], &files[3]}, &failed_index);
    if (!status.ok) {
      failed = *paths[failed_index];
      status.reason += "; the four files of " + conversion.output + " are left as they were";
    }
  }
  if (!status.ok) {
    ReportFileError(failed.empty() ? conversion.output : failed, status.reason);
    return false;
  }
  for (const std::string& line : ReportLines(report, options.conversion)) ReportFileError(about, line);
  if (table.styles_merged > 0) {
    ReportFileError(about, GroupedDigits(table.styles_merged) +
                               " objects have the nearest of the table's styles: a table holds 255 pens, brushes and symbols of each kind");
  }
  return true;
}

bool ConvertOneOrThrow(const Conversion& conversion, const CliOptions& options, int threads) {
  Input input;
  if (!input.Open(conversion.input)) return false;
  const Encoding encoding = input.FollowLinksOf(
      conversion.input, options.conversion.links,
      EncodingOf(options, input.kml(), conversion.input, options.conversion.Table()));
  std::string decoded;
  ExportSource source = SourceOf(input.kml(), encoding, &decoded, threads);
  return WriteConversion(conversion, conversion.input, options, threads,
                         [&](const MifSink& mif, const MifSink& mid, ConversionReport* report, const SinkRewind* rewind) {
                           ExportWithOptions(source, options.conversion, threads, mif, mid, report, rewind);
                         });
}

// The inputs of `merged` that can be read, into one MIF file and its MID file. False when one
// could not be read (said, one line each) or the files could not be written.
bool ConvertMergedOrThrow(const Conversion& merged, const std::vector<std::string>& paths, const CliOptions& options,
                          int threads) {
  std::vector<std::unique_ptr<Input>> opened;
  std::vector<std::string> decoded(paths.size());
  std::vector<ExportInput> inputs;
  bool all_read = true;
  for (size_t i = 0; i < paths.size(); ++i) {
    auto input = std::make_unique<Input>();
    if (!input->Open(paths[i])) {
      all_read = false;
      continue;
    }
    const Encoding encoding =
        input->FollowLinksOf(paths[i], options.conversion.links, EncodingOf(options, input->kml(), paths[i], true));
    inputs.push_back({SourceOf(input->kml(), encoding, &decoded[i], threads), Utf8ToAnsi(paths[i])});
    opened.push_back(std::move(input));
  }
  if (inputs.empty()) return false;
  const bool written =
      WriteConversion(merged, merged.output, options, threads,
                      [&](const MifSink& mif, const MifSink& mid, ConversionReport* report, const SinkRewind* rewind) {
                        ExportMerged(inputs, options.conversion, threads, mif, mid, report, rewind);
                      });
  return written && all_read;
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

// Whether a table can be written to `tab_path`: a name ending in .tab, and neither it nor
// its companions a stream.
bool TabPathsUsable(const std::string& tab_path, const std::string& input, std::string* error) {
  if (tab_path == "-" || KindOf(tab_path) == PathKind::kOther) {
    *error = "--tab writes four files, and " + (tab_path == "-" ? "the table of " + Quoted(input) + " cannot go to standard output"
                                                                : Quoted(tab_path) + " is a device or a pipe") +
             ": name the table with -o NAME.tab";
    return false;
  }
  if (!NamesATable(tab_path)) {
    *error = "a table's name ends in .tab, and " + Quoted(tab_path) + " does not";
    return false;
  }
  const TabCompanions companions = CompanionsOf(tab_path);
  for (const std::string* path : {&companions.dat, &companions.map, &companions.id}) {
    if (KindOf(*path) == PathKind::kOther) {
      *error = Quoted(*path) + " is a device or a pipe, not a file that the table can be written to";
      return false;
    }
  }
  return true;
}

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
    if (options.tab) {
      if (options.output.empty()) conversion.output = input == "-" ? "-" : ReplaceExtension(input, ".tab");
      conversion.tab = true;
      if (!TabPathsUsable(conversion.output, input, error)) return false;
      const TabCompanions companions = CompanionsOf(conversion.output);
      if (!claim(input, conversion.output) || !claim(input, companions.dat) || !claim(input, companions.map) ||
          !claim(input, companions.id)) {
        return false;
      }
      plan->push_back(std::move(conversion));
      continue;
    }
    if (options.conversion.Table()) {
      if (conversion.output == "-") {
        *error = "--attributes writes a MID file beside the MIF file, which " + Quoted(input) +
                 " cannot have on standard output: name the output with -o";
        return false;
      }
      if (KindOf(conversion.output) == PathKind::kOther) {
        *error = "--attributes writes a MID file beside the MIF file, and " + Quoted(conversion.output) +
                 " is a device or a pipe, beside which no MID file can be written";
        return false;
      }
      conversion.mid = MidPathFor(conversion.output);
      if (KindOf(conversion.mid) == PathKind::kOther) {
        *error = Quoted(conversion.mid) + " is a device or a pipe, not a file that the MID file of " +
                 Quoted(input) + " can be written to";
        return false;
      }
    }
    if (!claim(input, conversion.output) || (!conversion.mid.empty() && !claim(input, conversion.mid))) return false;
    plan->push_back(std::move(conversion));
  }
  return true;
}

bool PlanMerge(const CliOptions& options, Conversion* merged, std::string* error) {
  *merged = {"", options.output, MidPathFor(options.output)};
  std::vector<std::string> paths{merged->output, merged->mid};
  if (options.tab) {
    merged->tab = true;
    merged->mid.clear();
    if (!TabPathsUsable(merged->output, "", error)) return false;
    const TabCompanions companions = CompanionsOf(merged->output);
    paths = {merged->output, companions.dat, companions.map, companions.id};
  }
  for (const std::string& path : paths) {
    if (path == "-" || KindOf(path) == PathKind::kOther) {
      *error = "--merge writes a MIF file and a MID file, and " + Quoted(path) + " is no file they can be written to";
      return false;
    }
    const std::optional<FileIdentity> identity = IdentityOf(path);
    for (const std::string& input : options.inputs) {
      if (identity && identity->name.empty() && IdentityOf(input) == identity) {
        *error = "the merged files would write over the input " + Quoted(input);
        return false;
      }
    }
  }
  return true;
}

int RunConvert(const CliOptions& given) {
  // A folder stands for the KML files in it.
  CliOptions options = given;
  options.inputs.clear();
  bool failed_input = false;
  for (const std::string& input : given.inputs) {
    if (input == "-" || KindOf(input) != PathKind::kFolder) {
      options.inputs.push_back(input);
      continue;
    }
    std::optional<std::vector<std::string>> files = KmlFilesIn(input);
    if (!files || files->empty()) {
      ReportFileError(input, !files ? "the folder cannot be read" : "the folder holds no .kml or .kmz file");
      failed_input = true;
      continue;
    }
    options.inputs.insert(options.inputs.end(), files->begin(), files->end());
  }
  if (options.inputs.empty()) return 1;
  std::string error;
  if (options.merge) {
    Conversion merged;
    if (!PlanMerge(options, &merged, &error)) {
      PrintError("geovant: " + error);
      return 2;
    }
    try {
      return ConvertMergedOrThrow(merged, options.inputs, options, UsableProcessors()) && !failed_input ? 0 : 1;
    } catch (const std::bad_alloc&) {
      ReportFileError(merged.output, "not enough memory to convert the inputs");
      return 1;
    }
  }
  std::vector<Conversion> plan;
  if (!PlanConversions(options, &plan, &error)) {
    PrintError("geovant: " + error);
    return 2;
  }
  // One input uses every core; several convert side by side, one core each.
  const int threads_per_input = plan.size() == 1 ? UsableProcessors() : 1;
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (size_t i = next++; i < plan.size(); i = next++) {
      if (!ConvertOne(plan[i], options, threads_per_input)) failed = true;
    }
  };
  size_t workers = std::min<size_t>(plan.size(), static_cast<size_t>(UsableProcessors()));
  std::vector<std::thread> threads;
  try {
    for (size_t t = 1; t < workers; ++t) threads.emplace_back(work);
  } catch (const std::system_error&) {
    // No thread to be had (a process limit): the threads started, and this one, do the work.
  }
  work();
  for (std::thread& t : threads) t.join();
  return failed || failed_input ? 1 : 0;
}

int RunAnalyse(const CliOptions& options) {
  Input input;
  if (!input.Open(options.inputs[0])) return 1;
  std::string decoded;
  std::array<size_t, 3> counts =
      CountGeometry(SourceOf(input.kml(), EncodingOf(options, input.kml()), &decoded, UsableProcessors()), UsableProcessors());
  std::string lines = "points: " + std::to_string(counts[0]) + "\nlines: " + std::to_string(counts[1]) +
                      "\npolygons: " + std::to_string(counts[2]) + "\n";
  return Emit("-", lines) ? 0 : 1;
}

int RunTags(const CliOptions& options) {
  Input input;
  if (!input.Open(options.inputs[0])) return 1;
  std::string decoded;
  ExportSource source =
      SourceOf(input.kml(), EncodingOf(options, input.kml(), options.inputs[0], true), &decoded, UsableProcessors());
  return WriteTagLinesOfFile(source.text, source.encoding, UsableProcessors(),
                             [](std::string_view lines) { return Emit("-", lines); })
             ? 0
             : 1;
}

int RunExtract(const CliOptions& options) {
  DocumentText document;
  if (!LoadDocument(options.inputs[0], options, &document)) return 1;
  bool compiled = true, cut_short = false;
  std::string text = ExtractElements(options.tag, *document, &compiled, &cut_short);
  if (!compiled) {
    PrintError("geovant: " + Quoted(options.tag) + " is not a pattern that can be searched for");
    return 1;
  }
  if (!Emit("-", text)) return 1;
  if (cut_short) {
    PrintError("geovant: the search for " + Quoted(options.tag) +
               " was cut short, as it took more work than the document's size allows: what was found before is printed");
    return 1;
  }
  return 0;
}
