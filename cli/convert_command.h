#pragma once

#include <string>

#include "cli/cli_options.h"

// Each runs one command of the converter and returns the exit status: 0 when everything
// worked, 1 when a file could not be read or written (said on standard error, one line each).
int RunConvert(const CliOptions& options);
int RunAnalyse(const CliOptions& options);
int RunTags(const CliOptions& options);
int RunExtract(const CliOptions& options);

// Where convert writes the MIF file of `input`.
std::string OutputPathFor(const std::string& input, const std::string& output_option);
