// CString: wide text, with the 8-bit views that plug-ins use for file names
// and messages.
#include <xsi_string.h>

namespace XSI {

CString::CString(const wchar_t* in_str) {
    if (in_str) {
        m_str = in_str;
    }
}

CString& CString::operator=(const wchar_t* in_str) {
    if (in_str) {
        m_str = in_str;
    } else {
        m_str.clear();
    }
    return *this;
}

const wchar_t* CString::GetWideString() const {
    return m_str.c_str();
}

const char* CString::GetAsciiString() const {
    m_ascii.resize(m_str.size());
    for (size_t i = 0; i < m_str.size(); ++i) {
        m_ascii[i] = static_cast<char>(static_cast<unsigned char>(m_str[i] & 0xFF));
    }
    return m_ascii.c_str();
}

void CString::PutAsciiString(const char* in_str) {
    m_str.clear();
    if (!in_str) {
        return;
    }
    for (const char* p = in_str; *p; ++p) {
        m_str.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    }
}

void CString::Clear() {
    m_str.clear();
}

CString& CString::operator+=(const CString& in) {
    m_str += in.m_str;
    return *this;
}

CString& CString::operator+=(const wchar_t* in) {
    if (in) {
        m_str += in;
    }
    return *this;
}

CString CString::operator+(const CString& in) const {
    CString out(*this);
    out += in;
    return out;
}

CString CString::operator+(const wchar_t* in) const {
    CString out(*this);
    out += in;
    return out;
}

bool CString::operator==(const wchar_t* in) const {
    return in ? m_str == in : m_str.empty();
}

} // namespace XSI
