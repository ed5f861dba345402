#pragma once

#include <string>
#include <vector>

#include "cli/cli_options.h"

// Each runs one command of the converter and returns the exit status: 0 when everything
// worked, 1 when a file could not be read or written (said on standard error, one line each).
int RunConvert(const CliOptions& options);
int RunAnalyse(const CliOptions& options);
int RunTags(const CliOptions& options);
int RunExtract(const CliOptions& options);

// Where convert writes the MIF file of `input`: OUTPUT when given; standard output ("-") for
// standard input and for inputs that are neither files nor folders (/dev/stdin, a pipe);
// otherwise beside the input, with the extension .mif.
std::string OutputPathFor(const std::string& input, const std::string& output_option);

struct Conversion {
  std::string input;
  std::string output;
  std::string mid;  // with --attributes: the MID file beside the MIF file
  bool tab = false;  // --tab: output is NAME.tab, written with its DAT, MAP and ID files
};

// The conversions that `options` ask for. A usage error, said in `error`, when standard input
// is named twice, when two inputs would write the same output, when an output is one of the
// inputs, or when a MID file would have to go to a stream: nothing may be written then.
bool PlanConversions(const CliOptions& options, std::vector<Conversion>* plan, std::string* error);

// The conversion of --merge: the MIF file -o names and the MID file beside it, neither of
// which may be a stream or one of the inputs (a usage error, said in `error`).
bool PlanMerge(const CliOptions& options, Conversion* merged, std::string* error);
