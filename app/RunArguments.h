// How `xsihost run` (and `xsihost bake`) turns ARG texts into a command's
// argument values.
//
// Each ARG is a positional value or NAME=VALUE, where NAME (letters, digits,
// '_', not starting with a digit) must be a declared argument. ARGs are read
// left to right: NAME=VALUE fills that argument; a positional value fills
// the first argument not filled yet. An argument given twice, an unknown
// name, or more values than declared arguments is an error of use. The
// arguments left out keep their declared defaults.
//
// What a value text becomes depends on how the command reads the argument:
// the type of its declared default tells (a bool default: a switch; an
// integer: a whole number; a float or double: a number; text: text). Where
// the default is empty, the way ZK_XSI_Baker reads its arguments is known
// here (its defaults are all empty by its contract); any other argument with
// an empty default takes what the text looks like. A text that is not a
// value of the argument's kind is an error of use naming the argument.
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

enum class ArgumentKind {
    Any,     // an integer when the text reads as one, true/false a bool, else text
    Switch,  // true/false, 1/0, yes/no, on/off in any case: a bool
    Integer, // a whole number that fits a LONG
    Number,  // a finite decimal number: a double
    Text,    // the text itself
};

// A short description of what a kind takes, for messages ("a switch ...").
const char* DescribeKind(ArgumentKind kind);

// The kind a declared default gives (Any for an empty default).
ArgumentKind KindOfDefault(const XSI::CValue& value);

// How each declared argument of a command is read: the kind of its default,
// or, where that is Any, the known reading of ZK_XSI_Baker's argument.
std::vector<ArgumentKind> ArgumentKinds(const std::string& command,
                                        const host::CommandSignature& signature);

// The value a text stands for as an argument of that kind. False (out
// untouched) when the text is not a value of that kind.
bool ConvertArgumentValue(const std::string& text, ArgumentKind kind, XSI::CValue* out);

// The value a text stands for in an argument of kind Any.
XSI::CValue ParseArgumentValue(const std::string& text);

// The argument values of a command, in declaration order. Throws UsageError.
XSI::CValueArray MapArguments(const std::string& command, const host::CommandSignature& signature,
                              const std::vector<std::string>& args);

// The arguments of ZK_XSI_Baker in declaration order, with how it reads them.
struct BakerArgument {
    const char* name;
    ArgumentKind kind;
};
extern const BakerArgument kBakerArguments[28];

} // namespace xsihost
