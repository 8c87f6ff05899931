#pragma once

#include <string>

namespace host {
namespace ui {

// Appends the UTF-8 form of code point c; a surrogate or a value past
// U+10FFFF is written as U+FFFD, the replacement character.
void AppendUtf8(std::string& out, unsigned long c);

} // namespace ui
} // namespace host
