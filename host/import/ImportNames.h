// Text of the importer: item names from node names, and one-line messages.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace host {

// Characters other than ASCII letters, digits and '_' become '_', one per
// character (a UTF-8 sequence is one character).
std::string CleanName(const std::string& in);
// Each byte one character of the host's wide text.
std::wstring Widen(const std::string& s);
// Line breaks become spaces; trailing spaces go.
std::string OneLine(std::string s);

// The names of a scene's items made unique: a name already taken gets the
// smallest number appended that makes it unique and is none of the names the
// scene's items asked for ("Box", "Box1", ...). Each name costs about the
// same however many items share it.
class UniqueNames {
  public:
    // Asked: every name the scene's items ask for.
    explicit UniqueNames(std::unordered_set<std::string> asked) : m_asked(std::move(asked)) {}
    // The name an item asking for `name` gets, taken from now on.
    std::string Take(const std::string& name);

  private:
    std::unordered_set<std::string> m_asked;
    std::unordered_set<std::string> m_taken;
    // Per name: the number to try first when it is asked for again (the
    // numbers below it are taken, and taken names stay taken).
    std::unordered_map<std::string, unsigned long> m_next;
};

} // namespace host
