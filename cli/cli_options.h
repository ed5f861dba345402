#pragma once

#include <string>
#include <vector>

#include "document/text_io.h"
#include "features/feature_export.h"

enum class CliCommand { kHelp, kVersion, kConvert, kAnalyse, kTags, kExtract };

struct CliOptions {
  CliCommand command = CliCommand::kHelp;
  Encoding encoding = Encoding::kUtf8;  // --encoding; without it, UTF-8 unless the file declares GBK
  bool encoding_given = false;
  std::string output;               // -o; empty: beside each input
  std::vector<std::string> inputs;  // "-" is standard input
  std::string tag;                  // extract only
  ConversionOptions conversion;     // convert only: --attributes, --styles, --polygons, --tracks...
  bool merge = false;               // convert --merge: every input into the one output -o names
  bool tab = false;                 // convert --tab (or -o NAME.tab): MapInfo's native table
};

// Parses argv[1..]. On a usage error returns false and says why in `error`.
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions* options, std::string* error);

extern const char kUsage[];
