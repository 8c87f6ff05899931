// xsihost inspect [--json] FILE...
//
// Reads MDD point caches and ZSC scene files back and prints a short summary
// of each (or, with --json, everything read). Only regular files are read:
// anything else is refused at once. Exit status 0 when every file is
// complete; 1 when a point cache is partial (its summary still printed, and
// one line on stderr); 2 when a file cannot be read, is not a regular file,
// is truncated or is malformed (one line on stderr each).
#include "Output.h"
#include "Subcommands.h"

#include "inspect/ZK_Inspect.h"

#include <iostream>

namespace xsihost {

namespace {

struct InspectOptions {
    bool json = false;
    std::vector<std::string> files;
};

} // namespace

Subcommand AddInspectCommand(CLI::App& app) {
    auto options = std::make_shared<InspectOptions>();
    CLI::App* sub = app.add_subcommand("inspect", "Read MDD and ZSC files back and summarise them");
    sub->add_flag("--json", options->json, "Print everything read, as JSON");
    sub->add_option("files", options->files, "MDD or ZSC files")->required();
    return Subcommand{sub, [options] {
                          const int result =
                              ZK_InspectFiles(options->files, options->json, Out(), std::cerr);
                          FinishOutput();
                          return result == ZK_INSPECT_COMPLETE  ? kExitOK
                                 : result == ZK_INSPECT_PARTIAL ? kExitCommandFailed
                                                                : kExitUsage;
                      }};
}

} // namespace xsihost
