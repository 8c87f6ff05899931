// CString: the host's wide text.
#pragma once

#include "xsi_decl.h"

#include <string>

namespace XSI {

class CString {
  public:
    CString() = default;
    CString(const wchar_t* in_str);
    CString(const CString& in) = default;
    CString(CString&& in) noexcept = default;
    CString& operator=(const CString& in) = default;
    CString& operator=(CString&& in) noexcept = default;
    CString& operator=(const wchar_t* in_str);

    // The text as a zero-terminated wide string, valid while this object
    // lives unchanged.
    const wchar_t* GetWideString() const;
    // The text as zero-terminated 8-bit text (each character's low 8 bits),
    // valid while this object lives unchanged.
    const char* GetAsciiString() const;
    // Replaces the text by 8-bit text, each byte becoming one character.
    void PutAsciiString(const char* in_str);

    ULONG Length() const { return static_cast<ULONG>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Clear();

    wchar_t operator[](ULONG in_index) const { return m_str[in_index]; }
    CString& operator+=(const CString& in);
    CString& operator+=(const wchar_t* in);
    CString operator+(const CString& in) const;
    CString operator+(const wchar_t* in) const;
    bool operator==(const CString& in) const { return m_str == in.m_str; }
    bool operator!=(const CString& in) const { return m_str != in.m_str; }
    bool operator==(const wchar_t* in) const;
    bool operator!=(const wchar_t* in) const { return !(*this == in); }
    bool operator<(const CString& in) const { return m_str < in.m_str; }

  private:
    std::wstring m_str;
    mutable std::string m_ascii;
};

} // namespace XSI
