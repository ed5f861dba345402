#include "cli/cli_options.h"

#include <algorithm>

#include "tab/tab_table.h"

const char kUsage[] =
    "usage: geovant convert [--encoding utf-8|ansi] [-o OUTPUT] [--attributes] [--styles]\n"
    "                       [--polygons] [--tracks] [--multi] [--typed] [--times] [--empty-rows]\n"
    "                       [--plain-descriptions] [--links] [--all] [--description-fields]\n"
    "                       [--altitude] [--merge -o OUTPUT] [--tab]\n"
    "                       [--crs wgs84|cgcs2000|gk3[:ZONE]|gk6[:ZONE] [--no-zone-prefix]] INPUT...\n"
    "       geovant analyse [--encoding utf-8|ansi] INPUT\n"
    "       geovant tags [--encoding utf-8|ansi] INPUT\n"
    "       geovant extract [--encoding utf-8|ansi] INPUT TAG\n"
    "       geovant --help | --version\n"
    "\n"
    "convert   write the MIF file of each KML input, beside it with the extension .mif\n"
    "          (or to OUTPUT, with one input only); several inputs run in parallel. A folder\n"
    "          stands for the .kml and .kmz files in it and its folders, in order of path\n"
    "analyse   print the number of points, lines and polygons\n"
    "tags      print the opening tags of the document, one per line\n"
    "extract   print the contents of the elements that begin with TAG\n"
    "\n"
    "--encoding  how the input is read: utf-8 converts it to GBK, ansi takes its bytes as\n"
    "            they are. Without it, a file whose XML declaration names GBK, GB2312,\n"
    "            GB18030 or CP936 is read as ansi, any other as utf-8. Output text is GBK.\n"
    "-o, --output OUTPUT   where to write; - is standard output. An input of - is standard input.\n"
    "--attributes  also write NAME.mid beside NAME.mif: the placemarks' names, descriptions,\n"
    "              folders and ExtendedData, one row per MIF object\n"
    "--styles      give each object its placemark's KML style (pen, brush, symbol)\n"
    "--polygons    one region per polygon, its holes included, instead of one per ring\n"
    "--tracks      one polyline per gx:Track, from its gx:coord\n"
    "--multi       one object per placemark: a MultiGeometry's parts together (Region n,\n"
    "              Pline Multiple, Multipoint, or a Collection of them)\n"
    "--typed       Integer, Float and Logical columns from the <Schema> field types\n"
    "--times       the columns TimeStamp, TimeBegin and TimeEnd\n"
    "--empty-rows  a row, with no object, for each placemark without geometry\n"
    "--plain-descriptions  the descriptions without their HTML markup\n"
    "--links       also the documents that a KMZ archive's NetworkLinks name inside it\n"
    "--all         all of these. --typed, --times, --empty-rows and --plain-descriptions\n"
    "              write the MID file, as --attributes does\n"
    "--description-fields  also a column for each field that the descriptions hold: each\n"
    "              table row of two cells (<tr><td>FID</td><td>7</td></tr> gives FID = 7), or\n"
    "              lines \"name: value\" or \"name = value\" parted by <br> or line breaks;\n"
    "              an ExtendedData value of the same name counts first (not part of --all)\n"
    "--altitude    also the columns AltitudeMin and AltitudeMax, the least and the greatest\n"
    "              third coordinate of each object's vertices (not part of --all)\n"
    "--crs NAME    the coordinate system of the MIF file (not part of --all): wgs84 or cgcs2000\n"
    "              name the datum, coordinates as written; gk3[:ZONE] and gk6[:ZONE] project\n"
    "              them to CGCS2000 Gauss-Kruger zones of 3 degrees (25-45) or 6 (13-23), in\n"
    "              metres, the zone number before the easting; without ZONE, the data's zone\n"
    "--no-zone-prefix  with gk3 and gk6: the easting without the zone number (500000 m)\n"
    "--merge       all inputs into the one MIF file OUTPUT and its MID file, in the order given,\n"
    "              with a first column Source, the input's name: convert --merge -o all.mif\n"
    "              a.kml b.kmz gives the rows \"a.kml\",... then \"b.kmz\",...; the columns are\n"
    "              those of all inputs by name\n"
    "--tab         write MapInfo's native table instead: NAME.tab with NAME.dat, NAME.map and\n"
    "              NAME.id, of the same objects, columns and styles. An OUTPUT ending in .tab\n"
    "              asks for it too\n"
    "An input may also be a KMZ archive: its KML document is read.\n";

namespace {

bool ParseEncoding(const std::string& value, Encoding* encoding) {
  if (value == "utf-8" || value == "utf8" || value == "UTF-8" || value == "UTF8") {
    *encoding = Encoding::kUtf8;
  } else if (value == "ansi" || value == "ANSI") {
    *encoding = Encoding::kAnsi;
  } else {
    return false;
  }
  return true;
}

// The switches of convert; --all sets them all.
struct ConversionFlag {
  const char* name;
  bool ConversionOptions::*member;
};
const ConversionFlag kConversionFlags[] = {
    {"--attributes", &ConversionOptions::attributes}, {"--styles", &ConversionOptions::styles},
    {"--polygons", &ConversionOptions::polygons},     {"--tracks", &ConversionOptions::tracks},
    {"--multi", &ConversionOptions::multi},           {"--typed", &ConversionOptions::typed},
    {"--times", &ConversionOptions::times},           {"--empty-rows", &ConversionOptions::empty_rows},
    {"--plain-descriptions", &ConversionOptions::plain_descriptions},
    {"--links", &ConversionOptions::links},
    {"--description-fields", &ConversionOptions::description_fields},
    {"--altitude", &ConversionOptions::altitude},
};

// Sets the switch that `name` names; false for other arguments.
bool SetConversionFlag(const std::string& name, ConversionOptions* conversion) {
  if (name == "--all") {
    // On top of what is given, before it or after it (--crs, --altitude...).
    const ConversionOptions all = ConversionOptions::All();
    for (const ConversionFlag& flag : kConversionFlags) conversion->*flag.member |= all.*flag.member;
    return true;
  }
  for (const ConversionFlag& flag : kConversionFlags) {
    if (name == flag.name) {
      conversion->*flag.member = true;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions* options, std::string* error) {
  *options = CliOptions();
  if (args.empty()) {
    *error = "no command given";
    return false;
  }
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    options->command = CliCommand::kHelp;
    return true;
  }
  if (command == "--version") {
    options->command = CliCommand::kVersion;
    return true;
  }
  if (command == "convert") {
    options->command = CliCommand::kConvert;
  } else if (command == "analyse" || command == "analyze") {
    options->command = CliCommand::kAnalyse;
  } else if (command == "tags") {
    options->command = CliCommand::kTags;
  } else if (command == "extract") {
    options->command = CliCommand::kExtract;
  } else {
    *error = "unknown command '" + command + "'";
    return false;
  }

  std::vector<std::string> operands;
  bool options_ended = false;
  bool zone_prefix = true;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options->command = CliCommand::kHelp;
      return true;
    }
    std::string name = arg;
    std::string value;
    bool has_value = false;
    if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    if (!has_value && SetConversionFlag(name, &options->conversion)) {
      if (options->command != CliCommand::kConvert) {
        *error = "option '" + name + "' belongs to convert";
        return false;
      }
      continue;
    }
    if (name == "--merge" && !has_value) {
      if (options->command != CliCommand::kConvert) {
        *error = "option '" + name + "' belongs to convert";
        return false;
      }
      options->merge = true;
      continue;
    }
    if (name == "--tab" && !has_value) {
      if (options->command != CliCommand::kConvert) {
        *error = "option '" + name + "' belongs to convert";
        return false;
      }
      options->tab = true;
      continue;
    }
    if (name == "--no-zone-prefix" && !has_value) {
      if (options->command != CliCommand::kConvert) {
        *error = "option '" + name + "' belongs to convert";
        return false;
      }
      zone_prefix = false;
      continue;
    }
    bool takes_value = name == "--encoding" || name == "-o" || name == "--output" || name == "--crs";
    if (!takes_value) {
      *error = "unknown option '" + arg + "'";
      return false;
    }
    if (!has_value) {
      if (i + 1 == args.size()) {
        *error = "option '" + name + "' needs a value";
        return false;
      }
      value = args[++i];
    }
    if (value.empty()) {
      *error = "option '" + name + "' needs a value";
      return false;
    }
    if (name == "--crs") {
      if (options->command != CliCommand::kConvert) {
        *error = "option '" + name + "' belongs to convert";
        return false;
      }
      if (!ParseCoordinateSystem(value, &options->conversion.crs, error)) return false;
    } else if (name == "--encoding") {
      if (!ParseEncoding(value, &options->encoding)) {
        *error = "unknown encoding '" + value + "' (use utf-8 or ansi)";
        return false;
      }
      options->encoding_given = true;
    } else {
      if (options->command != CliCommand::kConvert) {
        *error = "option '" + name + "' belongs to convert";
        return false;
      }
      options->output = value;
    }
  }

  if (!zone_prefix) {
    if (!options->conversion.crs.Projected()) {
      *error = "--no-zone-prefix goes with --crs gk3 or gk6";
      return false;
    }
    options->conversion.crs.zone_prefix = false;
  }
  size_t wanted = options->command == CliCommand::kExtract ? 2 : 1;
  if (operands.size() < wanted ||
      (options->command != CliCommand::kConvert && operands.size() > wanted)) {
    *error = options->command == CliCommand::kExtract ? "extract takes INPUT and TAG"
             : operands.empty()                       ? "no input given"
                                                      : "this command takes one input";
    return false;
  }
  if (options->command == CliCommand::kExtract) {
    options->tag = operands.back();
    operands.pop_back();
  }
  if (options->merge && options->output.empty()) {
    *error = "--merge writes one MIF file: name it with -o";
    return false;
  }
  if (options->merge && std::find(operands.begin(), operands.end(), "-") != operands.end()) {
    *error = "--merge reads files and folders, not standard input";
    return false;
  }
  if (!options->merge && !options->output.empty() && operands.size() > 1) {
    *error = "-o takes one input only";
    return false;
  }
  if (NamesATable(options->output)) options->tab = true;
  if (options->tab && options->output == "-") {
    *error = "--tab writes four files, which standard output cannot hold: name the table with -o NAME.tab";
    return false;
  }
  options->inputs = std::move(operands);
  return true;
}
