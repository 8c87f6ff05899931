// CValue: the host's variant. Every conversion is defined for every type and
// never depends on the process locale: numbers are read and written in the C
// locale's decimal form, and a number that does not fit the target type is
// clamped to the type's range instead of overflowing.
#include <xsi_value.h>
#include <xsi_valuearray.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cwctype>
#include <limits>
#include <locale.h>
#include <string>

namespace XSI {

namespace {

// The C locale, for strtod_l.
locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

bool IsSpace(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}
bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The leading decimal number of a text (after white space): an optional
// sign, digits with an optional fraction, and an optional exponent. 0 when
// the text does not start with one. Hexadecimal forms, "inf" and "nan" are
// not numbers here.
double LeadingNumber(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    std::string number;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        number.push_back(static_cast<char>(text[i]));
        ++i;
    }
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        number.push_back(static_cast<char>(text[i]));
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == L'.') {
        number.push_back('.');
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            number.push_back(static_cast<char>(text[i]));
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == L'+' || text[j] == L'-')) {
            exponent.push_back(static_cast<char>(text[j]));
            ++j;
        }
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j])) {
                exponent.push_back(static_cast<char>(text[j]));
                ++j;
            }
            number += exponent;
        }
    }
    // strtod_l gives +-HUGE_VAL on overflow and 0 (or a denormal) on
    // underflow, which is what a conversion to double should give.
    return strtod_l(number.c_str(), nullptr, CLocale());
}

bool TextIsTrue(const std::wstring& text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && IsSpace(text[b])) {
        ++b;
    }
    while (e > b && IsSpace(text[e - 1])) {
        --e;
    }
    static const wchar_t kTrue[] = L"true";
    if (e - b == 4) {
        bool same = true;
        for (size_t k = 0; k < 4; ++k) {
            if (std::towlower(static_cast<wint_t>(text[b + k])) != static_cast<wint_t>(kTrue[k])) {
                same = false;
            }
        }
        if (same) {
            return true;
        }
    }
    return LeadingNumber(text) != 0.0;
}

template <typename Int> Int ClampToInt(double d) {
    if (std::isnan(d)) {
        return 0;
    }
    if (d <= static_cast<double>(std::numeric_limits<Int>::min())) {
        return std::numeric_limits<Int>::min();
    }
    if (d >= static_cast<double>(std::numeric_limits<Int>::max())) {
        return std::numeric_limits<Int>::max();
    }
    return static_cast<Int>(d); // towards zero
}

float ToFloat(double d) {
    if (std::isnan(d) || std::isinf(d)) {
        return static_cast<float>(d);
    }
    if (d > static_cast<double>(std::numeric_limits<float>::max())) {
        return std::numeric_limits<float>::infinity();
    }
    if (d < -static_cast<double>(std::numeric_limits<float>::max())) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(d);
}

// The shortest text that reads back as the same value, in the C locale's
// form ("0.5", "30", "1e+20", "-inf", "nan").
template <typename F> CString FloatText(F value) {
    if (std::isnan(value)) {
        return CString(L"nan");
    }
    char buf[64];
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
    CString out;
    *r.ptr = '\0';
    out.PutAsciiString(buf);
    return out;
}

CString IntText(long long value) {
    char buf[32];
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf - 1, value);
    *r.ptr = '\0';
    CString out;
    out.PutAsciiString(buf);
    return out;
}

} // namespace

CValue::CValue() : m_t(siEmpty) {
    m_u.d = 0.0;
}

CValue::CValue(bool in) : m_t(siBool) {
    m_u.b = in;
}

CValue::CValue(short in) : m_t(siInt2) {
    m_u.s = in;
}

CValue::CValue(LONG in) : m_t(siInt4) {
    m_u.l = in;
}

CValue::CValue(float in) : m_t(siFloat) {
    m_u.f = in;
}

CValue::CValue(double in) : m_t(siDouble) {
    m_u.d = in;
}

CValue::CValue(const CString& in) : m_t(siString), m_str(in) {
    m_u.d = 0.0;
}

CValue::CValue(const wchar_t* in) : m_t(siString), m_str(in) {
    m_u.d = 0.0;
}

CValue::CValue(const CRef& in) : m_t(siRef), m_ref(in) {
    m_u.d = 0.0;
}

CValue::CValue(const CValueArray& in) : m_t(siArray), m_array(std::make_unique<CValueArray>(in)) {
    m_u.d = 0.0;
}

CValue::CValue(const CValue& in)
    : m_t(in.m_t), m_u(in.m_u), m_str(in.m_str), m_ref(in.m_ref),
      m_array(in.m_array ? std::make_unique<CValueArray>(*in.m_array) : nullptr) {}

CValue& CValue::operator=(const CValue& in) {
    if (this != &in) {
        // Copy the array first: it may hold the value being assigned from.
        std::unique_ptr<CValueArray> array =
            in.m_array ? std::make_unique<CValueArray>(*in.m_array) : nullptr;
        m_t = in.m_t;
        m_u = in.m_u;
        m_str = in.m_str;
        m_ref = in.m_ref;
        m_array = std::move(array);
    }
    return *this;
}

CValue::~CValue() = default;

CString CValue::GetAsText() const {
    switch (m_t) {
    case siEmpty:
        return CString();
    case siBool:
        return CString(m_u.b ? L"true" : L"false");
    case siInt2:
        return IntText(m_u.s);
    case siInt4:
        return IntText(m_u.l);
    case siFloat:
        return FloatText(m_u.f);
    case siDouble:
        return FloatText(m_u.d);
    case siString:
        return m_str;
    case siRef:
        return m_ref.GetAsText();
    case siArray: {
        // The elements' texts joined by commas.
        CString out;
        for (LONG i = 0; i < m_array->GetCount(); ++i) {
            if (i > 0) {
                out += L",";
            }
            out += (*m_array)[i].GetAsText();
        }
        return out;
    }
    }
    return CString();
}

CValue::operator double() const {
    switch (m_t) {
    case siBool:
        return m_u.b ? 1.0 : 0.0;
    case siInt2:
        return m_u.s;
    case siInt4:
        return m_u.l;
    case siFloat:
        return m_u.f;
    case siDouble:
        return m_u.d;
    case siString:
        return LeadingNumber(m_str.GetWideString());
    case siEmpty:
    case siRef:
    case siArray:
        break;
    }
    return 0.0;
}

CValue::operator bool() const {
    switch (m_t) {
    case siBool:
        return m_u.b;
    case siString:
        return TextIsTrue(m_str.GetWideString());
    case siRef:
        return m_ref.IsValid();
    default:
        return static_cast<double>(*this) != 0.0;
    }
}

CValue::operator short() const {
    if (m_t == siInt2) {
        return m_u.s;
    }
    return ClampToInt<short>(static_cast<double>(*this));
}

CValue::operator LONG() const {
    if (m_t == siInt4) {
        return m_u.l;
    }
    return ClampToInt<LONG>(static_cast<double>(*this));
}

CValue::operator float() const {
    if (m_t == siFloat) {
        return m_u.f;
    }
    return ToFloat(static_cast<double>(*this));
}

CValue::operator CString() const {
    return GetAsText();
}

CValue::operator CRef() const {
    return m_t == siRef ? m_ref : CRef();
}

CValue::operator CValueArray() const {
    if (m_t == siArray) {
        return *m_array;
    }
    // A single value reads as an array of itself; an empty value as an
    // empty array.
    CValueArray out;
    if (m_t != siEmpty) {
        out.Add(*this);
    }
    return out;
}

} // namespace XSI
