// geovant: the KML to MIF converter on the command line.
#include <csignal>
#include <new>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/convert_command.h"
#include "document/file_io.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// An interrupted run must not leave its temporary files behind, nor a MIF file beside the MID
// file of another conversion: a commit of the two under way finishes the run itself.
extern "C" void OnTerminatingSignal(int signal_number) {
  if (!TerminationMayProceed(signal_number)) return;
  RemoveTemporaryFiles();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// The signals that end the program and that a handler may catch.
const int kTerminatingSignals[] = {
    SIGINT, SIGTERM,
#ifndef _WIN32
    SIGHUP, SIGQUIT, SIGPIPE,
#endif
};

}  // namespace

int Run(const CliOptions& options);

int main(int argc, char** argv) {
#ifdef _WIN32
  // The MIF text goes out as bytes, CR LF as written.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  for (int signal_number : kTerminatingSignals) std::signal(signal_number, OnTerminatingSignal);
#ifdef SIGXFSZ
  // Past the file-size limit a write fails and is reported like any other failed write.
  std::signal(SIGXFSZ, SIG_IGN);
#endif

  CliOptions options;
  std::string error;
  if (!ParseCliOptions(ProgramArguments(argc, argv), &options, &error)) {
    PrintError("geovant: " + error);
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    return Run(options);
  } catch (const std::bad_alloc&) {
    PrintError("geovant: not enough memory");
    return 1;
  }
}

int Run(const CliOptions& options) {
  switch (options.command) {
    case CliCommand::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case CliCommand::kVersion:
      std::puts("geovant " GEOVANT_VERSION);
      return 0;
    case CliCommand::kConvert: return RunConvert(options);
    case CliCommand::kAnalyse: return RunAnalyse(options);
    case CliCommand::kTags: return RunTags(options);
    case CliCommand::kExtract: return RunExtract(options);
  }
  return 2;
}
