// Argument and ArgumentArray: the declared arguments of a command.
#pragma once

#include "xsi_ref.h"
#include "xsi_status.h"
#include "xsi_string.h"
#include "xsi_value.h"

namespace XSI {

class Argument {
  public:
    Argument() = default;
    Argument(const CString& in_name, const CValue& in_default)
        : m_name(in_name), m_value(in_default) {}

    CString GetName() const { return m_name; }
    CValue GetValue() const { return m_value; }

  private:
    CString m_name;
    CValue m_value;
};

class ArgumentArray {
  public:
    ArgumentArray() = default;
    // Host side: the argument list of a host command object.
    explicit ArgumentArray(const CRef& in_command) : m_command(in_command) {}

    // Declares the next argument with its default value.
    CStatus Add(const CString& in_name, const CValue& in_default = CValue());
    LONG GetCount() const;
    Argument GetItem(LONG in_index) const;

  private:
    CRef m_command;
};

} // namespace XSI
