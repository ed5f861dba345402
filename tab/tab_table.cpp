#include "tab/tab_table.h"

#include <array>
#include <charconv>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

#include "document/text_io.h"
#include "tab/map_file.h"
#include "tab/mif_objects.h"
#include "tab/object_pieces.h"
#include "tab/text_pipes.h"

namespace {

// The DAT file is a dBase table: a header, one description of 32 bytes per field, and rows
// of fixed width, each after a blank (not deleted).
constexpr size_t kDatFieldName = 10;

int DatWidth(const MifColumn& column) {
  switch (column.type) {
    case MifColumn::Type::kChar: return column.width;
    case MifColumn::Type::kInteger: return 4;
    case MifColumn::Type::kFloat: return 8;
    case MifColumn::Type::kLogical: return 1;
  }
  return column.width;
}

std::string DatHeader(const std::vector<MifColumn>& columns, size_t rows) {
  std::string h(32, '\0');
  // A fixed date, so that the same input gives the same bytes.
  h[0] = 0x03;
  h[1] = 100;  // 2000
  h[2] = 1;
  h[3] = 1;
  const uint32_t count = static_cast<uint32_t>(rows);
  std::memcpy(&h[4], &count, 4);
  const uint16_t header_size = static_cast<uint16_t>(32 + 32 * columns.size() + 1);
  uint16_t row_size = 1;
  for (const MifColumn& column : columns) row_size = static_cast<uint16_t>(row_size + DatWidth(column));
  std::memcpy(&h[8], &header_size, 2);
  std::memcpy(&h[10], &row_size, 2);
  for (const MifColumn& column : columns) {
    std::string field(32, '\0');
    const std::string_view name = CutBetweenCharacters(column.name, kDatFieldName);
    std::memcpy(field.data(), name.data(), name.size());
    field[11] = 'C';  // whatever the column's type: the TAB file gives it
    field[16] = static_cast<char>(DatWidth(column));
    h += field;
  }
  h += '\x0d';
  return h;
}

void AppendDatValue(const MifColumn& column, std::string_view value, std::string& row) {
  switch (column.type) {
    case MifColumn::Type::kChar: {
      const std::string_view kept = CutBetweenCharacters(value, static_cast<size_t>(column.width));
      row.append(kept);
      row.append(static_cast<size_t>(column.width) - kept.size(), '\0');
      return;
    }
    case MifColumn::Type::kInteger: {
      int32_t number = 0;
      std::from_chars(value.data(), value.data() + value.size(), number);
      row.append(reinterpret_cast<const char*>(&number), 4);
      return;
    }
    case MifColumn::Type::kFloat: {
      double number = 0;
      std::from_chars(value.data(), value.data() + value.size(), number);
      row.append(reinterpret_cast<const char*>(&number), 8);
      return;
    }
    case MifColumn::Type::kLogical:
      row += !value.empty() && (value[0] == 'T' || value[0] == 't') ? 'T' : 'F';
      return;
  }
}

std::string TabText(const MifTableHeader& header, int version) {
  std::string t = "!table\r\n!version " + std::to_string(version) +
                  "\r\n!charset WindowsSimpChinese\r\n\r\nDefinition Table\r\n  Type NATIVE Charset \"WindowsSimpChinese\"\r\n"
                  "  Fields " +
                  std::to_string(header.columns.size()) + "\r\n";
  for (const MifColumn& column : header.columns) {
    t += "    " + column.name;
    switch (column.type) {
      case MifColumn::Type::kChar: t += " Char (" + std::to_string(column.width) + ") ;\r\n"; break;
      case MifColumn::Type::kInteger: t += " Integer ;\r\n"; break;
      case MifColumn::Type::kFloat: t += " Float ;\r\n"; break;
      case MifColumn::Type::kLogical: t += " Logical ;\r\n"; break;
    }
  }
  return t;
}

// Pieces read ahead of the one whose objects are being written.
constexpr size_t kPiecesAhead = 4;

// Threads to read the pieces on, besides the writer's: as many as the export's (up to four),
// whose processors they share; none for an export on one.
int ReadingThreads(int threads) { return threads <= 1 ? 0 : std::min(threads, 4); }

// One writing of the table of the MIF text that `read_mif` reads and the MID text of `mid`,
// on the grid of its coordinate system (widened to `data`, when given). `beyond` gets the
// data's bounds when vertices lay beyond the grid, and then nothing is complete.
bool WriteOnce(const LineReader::Read& read_mif, LineReader* mid, const std::array<double, 4>* data, int threads,
               const TabSinks& sinks, TabReport* report, std::optional<std::array<double, 4>>* beyond) {
  LineReader mif(read_mif);
  MifTableHeader header;
  if (!ReadMifHeader(mif, &header, &report->error)) return false;
  MapFrame frame;
  if (!FrameOfCoordSys(header.coordsys, &frame, data ? data->data() : nullptr)) {
    report->error = "the coordinate system is none this program writes: " + header.coordsys;
    return false;
  }
  if (!sinks.dat(DatHeader(header.columns, 0)) || !sinks.map(std::string(1024, '\0'))) return false;
  MapWriter writer(frame, sinks.map, sinks.id);
  std::vector<std::string> values;
  std::string rows_waiting;
  size_t rows = 0;
  auto add = [&](const MifObject& object, const GridObject& grid) {
    if (!writer.Add(object, grid)) return false;
    rows_waiting += ' ';
    std::string_view line;
    if (mid) {
      if (!mid->Next(&line) || !SplitMidRow(line, header.columns.size(), &values)) {
        report->error = "the MID file has no row of the MIF file's columns for object " + std::to_string(rows + 1);
        return false;
      }
    } else {
      values.assign(header.columns.size(), "");
    }
    for (size_t c = 0; c < header.columns.size(); ++c) AppendDatValue(header.columns[c], values[c], rows_waiting);
    if (rows_waiting.size() > (size_t{1} << 20)) {
      if (!sinks.dat(rows_waiting)) return false;
      rows_waiting.clear();
    }
    ++rows;
    return true;
  };
  // The pieces are read on other threads; this one writes their objects in order.
  BodyPieces pieces(read_mif, mif.Unread());
  PieceReading reading(ReadingThreads(threads), frame);
  ReadPiece read;
  auto add_first = [&] {
    if (!reading.Take(&read)) return true;
    for (size_t i = 0; i < read.objects.size(); ++i) {
      if (!add(read.objects[i], read.grids[i])) return false;
    }
    if (!read.error.empty()) report->error = read.error;
    return read.error.empty();
  };
  std::string piece;
  while (pieces.Next(&piece)) {
    if (reading.Given() >= kPiecesAhead && !add_first()) return false;
    reading.Give(std::move(piece));
    piece.clear();
  }
  while (reading.Given() > 0) {
    if (!add_first()) return false;
  }
  if (!report->error.empty()) return false;
  if (!rows_waiting.empty() && !sinks.dat(rows_waiting)) return false;
  std::string map_header;
  if (!writer.Finish(&map_header)) return false;
  if (writer.outside() > 0) {
    *beyond = writer.bounds();
    return true;
  }
  report->version = writer.version();
  report->rows = rows;
  report->quantum = frame.Quantum();
  report->styles_merged = writer.styles_merged();
  return sinks.dat("\x1a") && sinks.dat_start(DatHeader(header.columns, rows)) && sinks.map_start(map_header) &&
         sinks.tab(TabText(header, writer.version()));
}

// The text of one run of the export, read as it is written.
bool WriteWhileExporting(const ExportText& export_text, bool with_mid, const std::array<double, 4>* data, int threads,
                         const TabSinks& sinks, TabReport* report, std::optional<std::array<double, 4>>* beyond) {
  TextPipes pipes(with_mid ? 2 : 1);
  bool written = false;
  auto write = [&] {
    LineReader mid([&](char* buffer, size_t n) { return pipes.Read(1, buffer, n); });
    const LineReader::Read mif = [&](char* buffer, size_t n) { return pipes.Read(0, buffer, n); };
    written = WriteOnce(mif, with_mid ? &mid : nullptr, data, threads, sinks, report, beyond);
    if (written) {
      pipes.Finish();
    } else {
      pipes.Abandon();
    }
  };
  auto to = [&pipes](int text) { return [&pipes, text](std::string_view piece) { return pipes.Write(text, piece); }; };
  std::thread writer;
  try {
    writer = std::thread(write);
  } catch (const std::system_error&) {
    // No second thread to be had: the text waits whole in memory.
    std::string mif_text, mid_text;
    export_text(
        [&](std::string_view piece) {
          mif_text.append(piece);
          return true;
        },
        [&](std::string_view piece) {
          mid_text.append(piece);
          return true;
        });
    LineReader mid(mid_text);
    return WriteOnce(ReadOf(mif_text), with_mid ? &mid : nullptr, data, threads, sinks, report, beyond);
  }
  export_text(to(0), to(1));
  pipes.Close();
  writer.join();
  return written;
}

}  // namespace

bool WriteTabTable(const ExportText& export_text, bool with_mid, int threads, const TabSinks& sinks,
                   TabReport* report) {
  *report = TabReport();
  std::optional<std::array<double, 4>> beyond;
  if (!WriteWhileExporting(export_text, with_mid, nullptr, threads, sinks, report, &beyond)) return false;
  if (!beyond) return true;
  // Vertices beyond the grid: once more, on one that holds them.
  const std::array<double, 4> data = *beyond;
  beyond.reset();
  if (!sinks.restart() || !WriteWhileExporting(export_text, with_mid, &data, threads, sinks, report, &beyond)) return false;
  if (beyond) report->error = "the vertices lie beyond every grid";
  return !beyond;
}

bool TabTableInMemory(std::string_view mif, const std::string_view* mid, int threads, TabFiles* files,
                      TabReport* report) {
  *files = TabFiles();
  auto into = [](std::string& file) {
    return [&file](std::string_view piece) {
      file.append(piece);
      return true;
    };
  };
  auto over = [](std::string& file) {
    return [&file](std::string_view piece) {
      file.replace(0, std::min(piece.size(), file.size()), piece);
      return true;
    };
  };
  const TabSinks sinks{into(files->tab), into(files->dat), into(files->map), into(files->id),
                       over(files->dat), over(files->map), [files] {
                         *files = TabFiles();
                         return true;
                       }};
  return WriteTabTable(
      [&](const TextSink& to_mif, const TextSink& to_mid) {
        if (to_mif(mif) && mid) to_mid(*mid);
      },
      mid != nullptr, threads, sinks, report);
}

bool NamesATable(std::string_view path) {
  if (path.size() <= 4) return false;
  const std::string_view extension = path.substr(path.size() - 4);
  return extension[0] == '.' && (extension[1] | 0x20) == 't' && (extension[2] | 0x20) == 'a' && (extension[3] | 0x20) == 'b';
}

TabCompanions CompanionsOf(const std::string& tab_path) {
  const size_t dot = tab_path.size() >= 4 ? tab_path.size() - 4 : 0;
  const bool upper = tab_path.size() >= 4 && tab_path.compare(dot, 4, ".TAB") == 0;
  const std::string base = tab_path.substr(0, dot);
  return upper ? TabCompanions{base + ".DAT", base + ".MAP", base + ".ID"}
               : TabCompanions{base + ".dat", base + ".map", base + ".id"};
}
