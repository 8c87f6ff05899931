// xsihost run [--scene FILE | --demo] [--plugins DIR] [--fps RATE] [--frame N] [--quiet]
//             [--keep-units] COMMAND [ARG ...]
//
// Loads the scene and the plug-ins, runs COMMAND through the host and exits
// 0 when it returns OK, else 1 after printing its status in hex; 130 when
// the run was cancelled with Ctrl-C. The
// command's return value, when it sets one, is printed on stdout.
#include "RunArguments.h"
#include "Subcommands.h"

#include "host/app/HostApp.h"
#include "host/scene/Scene.h"
#include "host/app/SceneCommands.h"
#include "host/ui/Terminal.h"

#include <xsi_application.h>

#include <cstdio>

namespace xsihost {

namespace {

struct RunOptions {
    SceneOptions scene;
    std::string plugins;
    double fps = 0.0;
    double frame = 0.0;
    bool haveFps = false;
    bool haveFrame = false;
    bool quiet = false;
    std::string command;
    std::vector<std::string> args;
};

int Run(const RunOptions& o) {
    host::HostApp& app = host::HostApp::Get();
    app.SetQuiet(o.quiet);
    host::ui::InstallInterruptHandler(o.quiet);

    // The frame rate first: a scene file's frame range is its animation's
    // length in frames at that rate.
    SceneOptions sceneOptions = o.scene;
    if (o.haveFps) {
        app.SetFrameRate(o.fps);
        sceneOptions.frameRate = o.fps;
    }
    app.SetScene(LoadScene(sceneOptions));
    if (o.haveFrame) {
        app.SetCurrentFrame(o.frame);
    }
    host::RegisterSceneCommands(app);
    app.LoadPlugins(PluginFolder(o.plugins));

    std::wstring name = Widen(o.command);
    host::CommandSignature signature;
    if (!app.GetCommandSignature(name, signature)) {
        throw UsageError("unknown command \"" + o.command + "\"");
    }
    XSI::CValueArray args = MapArguments(o.command, signature, o.args);

    XSI::CValue ret;
    XSI::CStatus status = XSI::Application().ExecuteCommand(name.c_str(), args, ret);
    host::ui::FinishProgress();
    if (!ret.IsEmpty()) {
        std::printf("%s\n", ret.GetAsText().GetAsciiString());
    }
    std::fflush(stdout);
    // A run cancelled with Ctrl-C stopped early, whatever status it returned:
    // what it wrote is incomplete.
    if (host::ui::IsInterrupted()) {
        std::fprintf(stderr,
                     "xsihost: %s was cancelled (status 0x%08X); what it wrote is incomplete\n",
                     o.command.c_str(), static_cast<unsigned>(status.GetCode()));
        return kExitCancelled;
    }
    if (status != XSI::CStatus::OK) {
        std::fprintf(stderr, "xsihost: %s failed: status 0x%08X\n", o.command.c_str(),
                     static_cast<unsigned>(status.GetCode()));
        return kExitCommandFailed;
    }
    return kExitOK;
}

// A finite number.
CLI::Validator FiniteNumber() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            XSI::CValue value;
            return ConvertArgumentValue(text, ArgumentKind::Number, &value)
                       ? std::string()
                       : "must be a finite number, not " + Quote(text);
        },
        "N");
}

} // namespace

Subcommand AddRunCommand(CLI::App& app) {
    auto options = std::make_shared<RunOptions>();
    CLI::App* sub = app.add_subcommand("run", "Run a command of the host or of a plug-in");
    AddSceneOptions(*sub, options->scene);
    sub->add_option("--plugins", options->plugins,
                    "Folder of the plug-ins to load (default: ../lib/zk_xsi_baker from "
                    "xsihost, else beside xsihost)")
        ->check(CLI::ExistingDirectory);
    sub->add_option("--fps", options->fps, "Frames per second (default: the scene file's, else 30)")
        ->check(FrameRateValidator())
        ->each([options](const std::string&) { options->haveFps = true; });
    sub->add_option("--frame", options->frame, "Current frame (default 0)")
        ->check(FiniteNumber())
        ->each([options](const std::string&) { options->haveFrame = true; });
    sub->add_flag("--quiet", options->quiet, "Hide the progress bar and informational lines");
    sub->add_option("command", options->command, "The command to run")->required();
    sub->add_option("args", options->args, "Its arguments: VALUE or NAME=VALUE");
    return Subcommand{sub, [options] { return Run(*options); }};
}

} // namespace xsihost
