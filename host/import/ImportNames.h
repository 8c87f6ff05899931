// Text of the importer: item names from node names, and one-line messages.
#pragma once

#include <string>

namespace host {

// Characters other than ASCII letters, digits and '_' become '_', one per
// character (a UTF-8 sequence is one character).
std::string CleanName(const std::string& in);
// Each byte one character of the host's wide text.
std::wstring Widen(const std::string& s);
// Line breaks become spaces; trailing spaces go.
std::string OneLine(std::string s);

} // namespace host
