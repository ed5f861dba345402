#pragma once

#include <string>

// A MIF file and the MID file beside it are one MapInfo table: a new MIF file beside an old
// MID file is a table with wrong rows, which readers take without a word.

// The MID file of the MIF file `mif_path`: the same name with the extension .mid.
std::string MidPathFor(const std::string& mif_path);

// The MID file that a MIF file written to `mif_path` without one would leave beside it: its
// MID file, when that and the MIF file being replaced are both files; empty otherwise (a MID
// beside a MIF file that did not exist before is none of ours).
std::string StaleMidBeside(const std::string& mif_path);
