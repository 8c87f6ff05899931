// Output path checks and the path text helpers.
#pragma once

#include <xsi_status.h>

// Kinds of path for _EnsureFilePath: the directory and regular-file type
// codes of a stat mode.
constexpr unsigned long ZK_PATH_FOLDER = 0x4000;
constexpr unsigned long ZK_PATH_FILE = 0x8000;

// Checks that an output folder or file can be used; logs one message and
// returns 0x80070057 when it cannot.
XSI::CStatus _EnsureFilePath(char* path, unsigned long kind, const char* label);

// Narrows wide text by keeping the low 8 bits of each character. The
// destination must hold the source's length plus one.
void ZK_Wide2Char(const wchar_t* source, char* destination);

// Turn every backslash into a forward slash, in place.
void linuxSafePath(char* text);
void flipSlash(char* text);

// Copies source with every backslash doubled. The destination must hold
// twice the source's length plus one.
void ZK_AddDoubleSlash(const char* source, char* destination);
