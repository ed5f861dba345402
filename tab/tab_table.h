#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "tab/mif_objects.h"

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

// Writes the table of the MIF text that `mif` reads (and the MID text that `mid` reads, when
// given). Each is called for a fresh reader each time the text is read: a table whose
// vertices lie beyond the grid first chosen is written again, on a grid that holds them.
// False when a sink failed or the text is no MIF file of ours (report->error).
using OpenText = std::function<LineReader()>;
bool WriteTabTable(const OpenText& mif, const OpenText* mid, const TabSinks& sinks, TabReport* report);

// The same, of texts held in memory, to files held in memory.
struct TabFiles {
  std::string tab, dat, map, id;
};
bool TabTableInMemory(std::string_view mif, const std::string_view* mid, TabFiles* files, TabReport* report);

// The names of the other three files of the table `tab_path` (NAME.tab or NAME.TAB): the
// same name with .dat, .map and .id, in the letter case of its extension.
struct TabCompanions {
  std::string dat, map, id;
};
TabCompanions CompanionsOf(const std::string& tab_path);
