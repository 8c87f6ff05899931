// xsihost: the command-line host. It loads a scene and the plug-ins, runs a
// command, and shows the progress bar and the log on stderr.
#include "LoadWatch.h"
#include "Output.h"
#include "Subcommands.h"

#include "host/scene/Workers.h"

#include <cstdio>
#include <sys/resource.h>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    CLI::App app{"xsihost: a command-line host for XSI plug-ins", "xsihost"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "xsihost " ZK_VERSION);
    app.footer("Run 'xsihost SUBCOMMAND --help' for the options of one subcommand, "
               "'xsihost --help-all' for all, 'man xsihost' for the manual.");
    xsihost::AddFullHelpFlag(app);

    std::vector<xsihost::Subcommand> subcommands = {
        xsihost::AddListCommand(app),    xsihost::AddRunCommand(app),  xsihost::AddBakeCommand(app),
        xsihost::AddInspectCommand(app), xsihost::AddJoinCommand(app), xsihost::AddFarmCommand(app),
    };

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            const int status = app.exit(e); // --help, --version
            return xsihost::FinishOutput() ? status : xsihost::kExitCommandFailed;
        }
        std::fprintf(stderr, "xsihost: %s\n", e.what());
        return xsihost::kExitUsage;
    }

    // A bake keeps every point cache open while it walks the frames: as many
    // files as the system lets this process open (the soft limit raised to
    // the hard one; a bake that needs more says so before it starts).
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    // The host's thread count, checked before anything runs (an empty value
    // is no value).
    const char* threads = std::getenv("ZK_HOST_THREADS");
    int count = 0;
    if (threads && *threads && !host::ParseWorkerCount(threads, &count)) {
        std::fprintf(stderr,
                     "xsihost: ZK_HOST_THREADS must be a whole number from 1 to 64, not %s\n",
                     xsihost::Quote(threads).c_str());
        return xsihost::kExitUsage;
    }

    // The subcommand's errors are one line each.
    const auto runSubcommand = [](const xsihost::Subcommand& sub) {
        try {
            const int status = sub.run();
            // What a script reads must have reached it.
            return xsihost::FinishOutput() || status != xsihost::kExitOK
                       ? status
                       : xsihost::kExitCommandFailed;
        } catch (const xsihost::UsageError& e) {
            std::fprintf(stderr, "xsihost: %s\n", e.what());
            return xsihost::kExitUsage;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "xsihost: %s\n", e.what());
            return xsihost::kExitCommandFailed;
        }
    };
    for (const xsihost::Subcommand& sub : subcommands) {
        if (!sub.cli->parsed()) {
            continue;
        }
        // A scene file is read under watch (LoadWatch.h).
        const CLI::Option* scene = sub.cli->get_option_no_throw("--scene");
        if (scene && scene->count() > 0) {
            const CLI::Option* memory = sub.cli->get_option_no_throw("--max-memory");
            return xsihost::RunWatchingSceneLoad(
                scene->as<std::string>(), [&] { return runSubcommand(sub); },
                xsihost::MemoryLimitOf(memory && memory->count() > 0 ? memory->as<std::string>()
                                                                     : std::string()));
        }
        return runSubcommand(sub);
    }
    return xsihost::kExitUsage;
}
