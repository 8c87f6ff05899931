// The plug-in's text helpers that need no host: narrowing wide text, the
// slash rules of output paths, and the fixed-size text fields of the export
// records.
#pragma once

#include <cstddef>
#include <string>

// Size of every text field and path buffer: 254 characters and a zero.
constexpr int ZK_TEXT_SIZE = 255;

// Narrows wide text by keeping the low 8 bits of each character. The
// destination must hold the source's length plus one.
void ZK_Wide2Char(const wchar_t* source, char* destination);

// Narrows at most ZK_TEXT_SIZE - 1 characters of wide text into a text field;
// longer text is cut at its last fitting character.
void ZK_Wide2Field(const std::wstring& source, char (&field)[ZK_TEXT_SIZE]);

// Turn every backslash into a forward slash, in place.
void linuxSafePath(char* text);
void flipSlash(char* text);

// Copies source with every backslash doubled. The destination must hold
// twice the source's length plus one.
void ZK_AddDoubleSlash(const char* source, char* destination);

// The text of a record's text field (or of a path buffer), at most
// ZK_TEXT_SIZE - 1 characters even when the field lacks its terminating zero.
std::string ZK_FieldText(const char* field);

// Copies text and its zero into a text field when it fits; otherwise leaves
// the field empty and returns false.
bool ZK_CopyField(const std::string& text, char (&field)[ZK_TEXT_SIZE]);
