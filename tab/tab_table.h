#pragma once

#include <functional>
#include <string>
#include <string_view>


// MapInfo's native table of a MIF file and its MID file: NAME.tab (the columns), NAME.dat
// (the rows), NAME.map (the objects and their index) and NAME.id (where each row's object
// lies). The same objects, columns, values and styles; the text stays GBK.

// Where the four files go, each in order from its start. `dat_start` and `map_start` write
// their bytes over as many at the start of their file, once the end is known; `restart`
// empties all four, to write them again.
struct TabSinks {
  using Sink = std::function<bool(std::string_view)>;
  Sink tab, dat, map, id, dat_start, map_start;
  std::function<bool()> restart;
};

struct TabReport {
  int version = 300;      // the table's
  size_t rows = 0;
  double quantum = 0;     // the largest error of a stored coordinate, in the frame's units
  size_t styles_merged = 0;  // styles beyond the 255 of each kind a table holds
  std::string error;      // why the text could not be read, when WriteTabTable returns false
};

// Writes the table of the MIF text (and the MID text, `with_mid`) that `export_text` writes
// to the sinks it is given, as the text comes: the table is written on a second thread, and
// the text waits in memory only as far as the export is ahead. A table whose vertices lie
// beyond the grid first chosen is made again, from a second run of `export_text`, on a grid
// that holds them. The text is read back on up to `threads` threads, as the export's (one:
// on the writer's thread alone). False when a sink failed or the text is no MIF file of ours
// (report->error); the export's own failures are its own to report.
using TextSink = std::function<bool(std::string_view)>;
using ExportText = std::function<void(const TextSink& mif, const TextSink& mid)>;
bool WriteTabTable(const ExportText& export_text, bool with_mid, int threads, const TabSinks& sinks,
                   TabReport* report);

// The same, of texts held in memory, to files held in memory.
struct TabFiles {
  std::string tab, dat, map, id;
};
bool TabTableInMemory(std::string_view mif, const std::string_view* mid, int threads, TabFiles* files,
                      TabReport* report);

// Whether `path` names a table: it ends in .tab, in any letter case, after a name.
bool NamesATable(std::string_view path);

// The names of the other three files of the table `tab_path` (NAME.tab or NAME.TAB): the
// same name with .dat, .map and .id, in the letter case of its extension.
struct TabCompanions {
  std::string dat, map, id;
};
TabCompanions CompanionsOf(const std::string& tab_path);
