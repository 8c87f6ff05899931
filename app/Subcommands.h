// xsihost's subcommands and what they share. Each subcommand lives in a file
// of its own and adds itself to the command line through one Add...Command
// function; main() calls the run function of the one that was given.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {
class Scene;
struct SceneFileInfo;
} // namespace host

namespace xsihost {

// Exit statuses.
constexpr int kExitOK = 0;
constexpr int kExitCommandFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 130; // a run cancelled with Ctrl-C, as a shell reports SIGINT

// An error of use: main() writes "xsihost: <message>" as one line on stderr
// and exits with kExitUsage.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Subcommand {
    CLI::App* cli = nullptr;
    std::function<int()> run;
};

Subcommand AddListCommand(CLI::App& app);
Subcommand AddRunCommand(CLI::App& app);
Subcommand AddBakeCommand(CLI::App& app);
Subcommand AddInspectCommand(CLI::App& app);
Subcommand AddJoinCommand(CLI::App& app);
Subcommand AddFarmCommand(CLI::App& app);

// --help-all: the help of every subcommand at once (Help.cpp); the manual
// page is made from it.
void AddFullHelpFlag(CLI::App& app);

// --scene FILE [--anim NAME|INDEX] [--keep-units] [--any-reader]
// [--max-memory SIZE] | --demo, shared by the subcommands that read a scene.
struct SceneOptions {
    std::string file;
    std::string animation; // the scene file's animation to play; empty: the first
    bool demo = false;
    bool keepUnits = false; // the file's own numbers, not metres
    double frameRate = 0.0; // --fps; 0: the file's rate, else the host's
    bool anyReader = false; // every Assimp reader, not only the formats read by default
    std::string maxMemory;  // --max-memory as given; empty: the default
};
void AddSceneOptions(CLI::App& sub, SceneOptions& options);
// The options that reach the jobs a command starts, as the user gave them:
// --any-reader and --max-memory.
std::vector<std::string> LoadLimitArguments(const SceneOptions& options);
// The scene the options name (nullptr when neither was given). A file's
// scene is built for the frame rate of --fps, else the file's own, which
// becomes the host's frame rate; info (when given) receives what the file
// declared. Throws UsageError when the file is missing or cannot be loaded.
std::unique_ptr<host::Scene> LoadScene(const SceneOptions& options,
                                       host::SceneFileInfo* info = nullptr);

// The folder the plug-ins are loaded from: the one given (--plugins), else,
// when xsihost runs from an installed tree, <prefix>/lib/zk_xsi_baker beside
// its bin folder, else the folder of the running executable (the build tree,
// where the plug-ins are built beside it).
std::string PluginFolder(const std::string& given);

// --fps RATE: a finite number from 0.001 to 100000 frames per second.
constexpr double kMinFrameRate = 0.001;
constexpr double kMaxFrameRate = 100000.0;
CLI::Validator FrameRateValidator();

// An MDD cache holds each frame's time, frame / rate as a 32-bit float, and
// a player tells its frames apart by them: far from frame 0 two frames get
// the same time (at 30 fps from frame 15,728,641 on). Throws UsageError,
// naming the range (`what`, as the user gave it) and the first two frames
// that share a time, when the times of first..last do not increase.
void CheckCacheTimes(long long first, long long last, double fps, const std::string& what);

// A text between double quotes for a message line, control characters and
// backslashes shown as escapes, so that the message stays one line.
std::string Quote(const std::string& text);

// The folder of the running executable, where the plug-ins are looked for.
std::string ExecutableFolder();

// Text of the host's 8-bit convention: each byte one character, and back.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

} // namespace xsihost
