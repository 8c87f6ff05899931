// Everything xsihost writes on stdout goes through here: the lines of list
// and bake, the return value of run, inspect's summaries, and the JSON
// documents of --json. Progress and messages go to stderr, never here, so
// that stdout holds only what a script reads.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <iosfwd>
#include <string>

namespace xsihost {

// Writes text to stdout as it stands.
void Print(const std::string& text);
// stdout as a stream, for printers that write as they go.
std::ostream& Out();
// Writes one JSON document: two-space indents and a line feed after it.
void PrintJson(const nlohmann::ordered_json& document);
// Flushes stdout; false when anything written to it was lost, which is said
// once, in one line on stderr. main() calls it after every subcommand and
// turns a loss into exit status 1 when the subcommand had succeeded.
bool FinishOutput();

// Text for a JSON string. A path or a name of the host's 8-bit text is
// taken as UTF-8 when it reads as UTF-8, else each byte as the character of
// that code (as `inspect --json` reads the files' names); a wide host text
// gives each character its own code.
std::string JsonText(const std::string& bytes);
std::string JsonText(const std::wstring& text);

} // namespace xsihost
