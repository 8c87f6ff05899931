// How `xsihost run` turns its ARG texts into a command's argument values.
//
// Each ARG is a positional value or NAME=VALUE, where NAME (letters, digits,
// '_', not starting with a digit) must be a declared argument. ARGs are read
// left to right: NAME=VALUE fills that argument; a positional value fills
// the first argument not filled yet. An argument given twice, an unknown
// name, or more values than declared arguments is an error of use. The
// arguments left out keep their declared defaults.
//
// A command that declares no names (a host command registered without them)
// takes every ARG as a positional value, '=' included.
#pragma once

#include "host/app/HostApp.h"

#include <xsi_value.h>
#include <xsi_valuearray.h>

#include <string>
#include <vector>

namespace xsihost {

// The value a text stands for: an integer when it reads as one (and fits a
// LONG), a bool for "true" and "false", else the text itself.
XSI::CValue ParseArgumentValue(const std::string& text);

// The argument values of a command, in declaration order. Throws UsageError.
XSI::CValueArray MapArguments(const std::string& command, const host::CommandSignature& signature,
                              const std::vector<std::string>& args);

} // namespace xsihost
