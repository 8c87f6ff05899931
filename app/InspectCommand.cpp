// xsihost inspect [--json] FILE...
//
// Reads MDD point caches and ZSC scene files back and prints a short summary
// of each (or, with --json, everything read). A file that cannot be read,
// is truncated or is malformed gets one line on stderr and exit status 2.
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
                          const int failed =
                              ZK_InspectFiles(options->files, options->json, std::cout, std::cerr);
                          std::cout.flush();
                          return failed ? kExitUsage : kExitOK;
                      }};
}

} // namespace xsihost
