// xsihost run [--scene FILE | --demo] [--plugins DIR] [--fps RATE] [--frame N] [--quiet]
//             [--keep-units] [--json] COMMAND [ARG ...]
//
// Loads the scene and the plug-ins, runs COMMAND through the host and exits
// 0 when it returns OK, else 1 after printing its status in hex; 130 when
// the run was cancelled with Ctrl-C. The
// command's return value, when it sets one, is printed on stdout; with
// --json, one JSON document instead: the command, its status and return
// value, whether it was cancelled, the exit status and the time it took.
#include "Output.h"
#include "RunArguments.h"
#include "Subcommands.h"

#include "host/app/HostApp.h"
#include "host/scene/Scene.h"
#include "host/app/SceneCommands.h"
#include "host/ui/Clock.h"
#include "host/ui/Terminal.h"

#include <nlohmann/json.hpp>

#include <xsi_application.h>

#include <algorithm>
#include <cmath>
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
    bool json = false;
    std::string command;
    std::vector<std::string> args;
};

int Run(const RunOptions& o) {
    host::HostApp& app = host::HostApp::Get();
    app.SetQuiet(o.quiet);
    host::ui::SetInterruptNotes("xsihost: cancelled: nothing is written yet; stopping before " +
                                    o.command + " runs (Ctrl-C again: stop at once)",
                                "xsihost: stopped at once by a second interrupt; " + o.command +
                                    " did not run");
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

    host::ui::SetInterruptNotes("xsihost: cancelled: " + o.command +
                                    " stops when it next looks at its progress bar (Ctrl-C "
                                    "again: stop at once)",
                                "xsihost: " + o.command +
                                    " was stopped at once by a second interrupt; what it wrote "
                                    "is incomplete");
    const double started = host::ui::Now();
    XSI::CValue ret;
    // Cancelled while the scene loaded: the command does not run at all.
    const bool ran = !host::ui::IsInterrupted();
    XSI::CStatus status =
        ran ? XSI::Application().ExecuteCommand(name.c_str(), args, ret) : XSI::CStatus::Fail;
    host::ui::FinishProgress();
    const double seconds = std::round(std::max(0.0, host::ui::Now() - started) * 1e6) / 1e6;
    // A run cancelled with Ctrl-C stopped early, whatever status it returned:
    // what it wrote is incomplete.
    const bool cancelled = host::ui::IsInterrupted();
    const int exitStatus = cancelled                    ? kExitCancelled
                           : status != XSI::CStatus::OK ? kExitCommandFailed
                                                        : kExitOK;
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status.GetCode()));
    if (o.json) {
        nlohmann::ordered_json document;
        document["command"] = JsonText(o.command);
        document["commandStatus"] = ran ? nlohmann::ordered_json(code) : nlohmann::ordered_json();
        document["returnValue"] =
            ret.IsEmpty() ? nlohmann::ordered_json()
                          : nlohmann::ordered_json(JsonText(ret.GetAsText().GetAsciiString()));
        document["cancelled"] = cancelled;
        document["exitStatus"] = exitStatus;
        document["commandSeconds"] = seconds;
        PrintJson(document);
    } else if (!ret.IsEmpty()) {
        Print(std::string(ret.GetAsText().GetAsciiString()) + "\n");
    }
    FinishOutput();
    if (!ran) {
        std::fprintf(stderr, "xsihost: cancelled before %s ran; nothing was written\n",
                     o.command.c_str());
    } else if (cancelled) {
        std::fprintf(stderr, "xsihost: %s was cancelled (status %s); what it wrote is incomplete\n",
                     o.command.c_str(), code);
    } else if (status != XSI::CStatus::OK) {
        std::fprintf(stderr, "xsihost: %s failed: status %s\n", o.command.c_str(), code);
    }
    return exitStatus;
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
    sub->add_flag("--json", options->json,
                  "Print one JSON document on stdout: the command's status, its return value "
                  "and the time it took");
    sub->add_option("command", options->command, "The command to run")->required();
    sub->add_option("args", options->args, "Its arguments: VALUE or NAME=VALUE");
    return Subcommand{sub, [options] { return Run(*options); }};
}

} // namespace xsihost
