// CValue: a variant holding one of the host's value types.
//
// Conversions: an empty value converts to false, 0, 0.0 and "". Text converts
// to a number by reading a leading decimal number (0 when there is none) and to
// bool as true when it reads "true" (any case) or a non-zero number. A number
// converts to text in the C locale's decimal form; a reference converts to the
// referenced object's full name.
#pragma once

#include "xsi_decl.h"
#include "xsi_ref.h"
#include "xsi_string.h"

#include <memory>

namespace XSI {

class CValueArray;

class CValue {
  public:
    enum DataType {
        siEmpty = 0,
        siInt2 = 2,
        siInt4 = 3,
        siFloat = 4,
        siDouble = 5,
        siString = 8,
        siBool = 11,
        siRef = 13,
        siArray = 0x2000
    };

    CValue();
    CValue(bool in);
    CValue(short in);
    CValue(LONG in);
    CValue(float in);
    CValue(double in);
    CValue(const CString& in);
    CValue(const wchar_t* in);
    CValue(const CRef& in);
    CValue(const CValueArray& in);
    CValue(const CValue& in);
    CValue& operator=(const CValue& in);
    ~CValue();

    DataType GetType() const { return m_t; }
    bool IsEmpty() const { return m_t == siEmpty; }
    CString GetAsText() const;

    operator bool() const;
    operator short() const;
    operator LONG() const;
    operator float() const;
    operator double() const;
    operator CString() const;
    operator CRef() const;
    operator CValueArray() const;

  private:
    DataType m_t;
    union {
        bool b;
        short s;
        LONG l;
        float f;
        double d;
    } m_u;
    CString m_str;
    CRef m_ref;
    std::unique_ptr<CValueArray> m_array;
};

} // namespace XSI
