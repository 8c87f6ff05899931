// CStatus: the result code of SDK calls and plug-in entries.
#pragma once

#include "xsi_decl.h"

namespace XSI {

class CStatus {
  public:
    enum Code : unsigned int {
        OK = 0,
        False = 1,
        Fail = 0x80004005u,
        InvalidArgument = 0x80070057u,
        Unexpected = 0x8000FFFFu,
        AccessDenied = 0x80070005u,
        NotImpl = 0x80004001u,
        MemoryOverflow = 0x8007000Eu
    };

    CStatus(Code in_code = OK) : m_code(in_code) {}

    Code GetCode() const { return m_code; }
    bool Succeeded() const { return m_code == OK || m_code == False; }
    bool Failed() const { return !Succeeded(); }

    bool operator==(const CStatus& in) const { return m_code == in.m_code; }
    bool operator!=(const CStatus& in) const { return m_code != in.m_code; }
    bool operator==(Code in) const { return m_code == in; }
    bool operator!=(Code in) const { return m_code != in; }
    CStatus& operator=(Code in) {
        m_code = in;
        return *this;
    }

  private:
    Code m_code;
};

} // namespace XSI
