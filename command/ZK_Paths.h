// Output path checks.
#pragma once

#include <xsi_status.h>

// Kinds of path for _EnsureFilePath: the directory and regular-file type
// codes of a stat mode.
constexpr unsigned long ZK_PATH_FOLDER = 0x4000;
constexpr unsigned long ZK_PATH_FILE = 0x8000;

// Checks that an output folder or file can be used; logs one message and
// returns 0x80070057 when it cannot.
XSI::CStatus _EnsureFilePath(char* path, unsigned long kind, const char* label);
