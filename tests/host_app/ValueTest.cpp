// The host's value types: wide text and its 8-bit views, the variant's
// conversions, and time.
#include "host/app/HostApp.h"

#include <xsi_string.h>
#include <xsi_time.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <string>

using XSI::CString;
using XSI::CValue;
using XSI::CValueArray;
using XSI::LONG;

namespace {

std::string Text(const CValue& v) {
    return v.GetAsText().GetAsciiString();
}

// Runs the body under a locale whose decimal separator is a comma, when the
// machine has one.
class CommaLocale {
  public:
    CommaLocale() {
        const char* old = std::setlocale(LC_ALL, nullptr);
        m_old = old ? old : "C";
        m_active = std::setlocale(LC_ALL, "de_DE.utf8") != nullptr ||
                   std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~CommaLocale() { std::setlocale(LC_ALL, m_old.c_str()); }
    bool Active() const { return m_active; }

  private:
    std::string m_old;
    bool m_active = false;
};

} // namespace

TEST(CStringTest, AsciiViewKeepsLowEightBitsAndPutMapsEachByteToOneCharacter) {
    CString s(L"A\u00e9\u0141z"); // 0xE9 stays, U+0141 keeps 0x41
    EXPECT_EQ(s.Length(), 4u);
    EXPECT_EQ(std::string(s.GetAsciiString()), std::string("A\xe9"
                                                           "Az"));

    CString t;
    t.PutAsciiString("x\xe9\xff");
    ASSERT_EQ(t.Length(), 3u);
    EXPECT_EQ(t[1], static_cast<wchar_t>(0xE9)); // not sign-extended
    EXPECT_EQ(t[2], static_cast<wchar_t>(0xFF));
    EXPECT_EQ(std::string(t.GetAsciiString()), "x\xe9\xff");

    t.PutAsciiString(nullptr);
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_STREQ(t.GetWideString(), L"");
}

TEST(CStringTest, ConcatenationAndComparison) {
    CString a(L"ab");
    CString b = a + L"cd" + CString(L"e");
    EXPECT_EQ(b, L"abcde");
    a += a; // appending itself
    EXPECT_EQ(a, CString(L"abab"));
    EXPECT_TRUE(CString() == static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(CString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
    EXPECT_NE(a, L"aba");
    EXPECT_TRUE(CString(L"abc") < CString(L"abd"));
}

TEST(CValueTest, EmptyValueIsFalseZeroAndEmptyText) {
    CValue v;
    EXPECT_TRUE(v.IsEmpty());
    EXPECT_FALSE(static_cast<bool>(v));
    EXPECT_EQ(static_cast<LONG>(v), 0);
    EXPECT_EQ(static_cast<short>(v), 0);
    EXPECT_EQ(static_cast<double>(v), 0.0);
    EXPECT_EQ(static_cast<float>(v), 0.0f);
    EXPECT_EQ(Text(v), "");
    EXPECT_FALSE(static_cast<XSI::CRef>(v).IsValid());
    EXPECT_EQ(static_cast<CValueArray>(v).GetCount(), 0);
}

TEST(CValueTest, TextReadsItsLeadingDecimalNumber) {
    EXPECT_EQ(static_cast<LONG>(CValue(L"12abc")), 12);
    EXPECT_EQ(static_cast<double>(CValue(L"  -3.5e2x")), -350.0);
    EXPECT_EQ(static_cast<LONG>(CValue(L"  -3.5e2x")), -350);
    EXPECT_EQ(static_cast<double>(CValue(L".5")), 0.5);
    EXPECT_EQ(static_cast<double>(CValue(L"+7.")), 7.0);
    EXPECT_EQ(static_cast<double>(CValue(L"1e")), 1.0);   // no exponent digits
    EXPECT_EQ(static_cast<double>(CValue(L"0x10")), 0.0); // not hexadecimal
    EXPECT_EQ(static_cast<double>(CValue(L"inf")), 0.0);  // not a decimal number
    EXPECT_EQ(static_cast<double>(CValue(L"nan")), 0.0);
    EXPECT_EQ(static_cast<LONG>(CValue(L"abc")), 0);
    EXPECT_EQ(static_cast<LONG>(CValue(L"")), 0);
    EXPECT_EQ(static_cast<LONG>(CValue(L"-")), 0);
    EXPECT_FLOAT_EQ(static_cast<float>(CValue(L"2.25")), 2.25f);
}

TEST(CValueTest, NumbersOutOfRangeAreClampedNotOverflowed) {
    EXPECT_EQ(static_cast<LONG>(CValue(L"99999999999")), INT_MAX);
    EXPECT_EQ(static_cast<short>(CValue(L"-1e10")), SHRT_MIN);
    EXPECT_EQ(static_cast<short>(CValue(static_cast<LONG>(40000))), SHRT_MAX);
    EXPECT_TRUE(std::isinf(static_cast<double>(CValue(L"1e400"))));
    EXPECT_EQ(static_cast<LONG>(CValue(L"1e400")), INT_MAX);
    EXPECT_TRUE(std::isinf(static_cast<float>(CValue(1e300))));
    EXPECT_EQ(static_cast<LONG>(CValue(std::nan(""))), 0);
    // Towards zero.
    EXPECT_EQ(static_cast<LONG>(CValue(2.9)), 2);
    EXPECT_EQ(static_cast<LONG>(CValue(-2.9f)), -2);
}

TEST(CValueTest, TextToBool) {
    EXPECT_TRUE(static_cast<bool>(CValue(L"TRUE")));
    EXPECT_TRUE(static_cast<bool>(CValue(L" true ")));
    EXPECT_TRUE(static_cast<bool>(CValue(L"2")));
    EXPECT_TRUE(static_cast<bool>(CValue(L"0.5")));
    EXPECT_FALSE(static_cast<bool>(CValue(L"false")));
    EXPECT_FALSE(static_cast<bool>(CValue(L"0")));
    EXPECT_FALSE(static_cast<bool>(CValue(L"yes")));
    EXPECT_FALSE(static_cast<bool>(CValue(L"truest")));
}

TEST(CValueTest, ValuesAsText) {
    EXPECT_EQ(Text(CValue(true)), "true");
    EXPECT_EQ(Text(CValue(false)), "false");
    EXPECT_EQ(Text(CValue(static_cast<short>(-12))), "-12");
    EXPECT_EQ(Text(CValue(static_cast<LONG>(INT_MIN))), "-2147483648");
    EXPECT_EQ(Text(CValue(0.1f)), "0.1");
    EXPECT_EQ(Text(CValue(30.0)), "30");
    EXPECT_EQ(Text(CValue(-0.25)), "-0.25");
    EXPECT_EQ(Text(CValue(L"as is")), "as is");
    // Text written for a number reads back as the same number.
    double d = 0.1 + 0.2;
    EXPECT_EQ(static_cast<double>(CValue(CValue(d).GetAsText())), d);
}

TEST(CValueTest, NumberTextDoesNotFollowTheProcessLocale) {
    CommaLocale locale;
    if (!locale.Active()) {
        GTEST_SKIP() << "no comma-decimal locale on this machine";
    }
    EXPECT_EQ(Text(CValue(2.5)), "2.5");
    EXPECT_EQ(Text(CValue(0.75f)), "0.75");
    EXPECT_EQ(static_cast<double>(CValue(L"2.5")), 2.5);
    EXPECT_EQ(static_cast<double>(CValue(L"2,5")), 2.0);
}

TEST(CValueTest, ArraysAreDeepCopiesAndReadAsJoinedText) {
    CValueArray items;
    items.Add(CValue(static_cast<LONG>(1)));
    items.Add(CValue(L"two"));
    CValue v(items);
    CValue copy(v);
    items.Add(CValue(3.5));
    EXPECT_EQ(static_cast<CValueArray>(v).GetCount(), 2);
    EXPECT_EQ(Text(copy), "1,two");

    // Assigning an element of the value's own array to the value.
    CValue nested{CValueArray(1)};
    CValueArray inner;
    inner.Add(CValue(L"x"));
    CValueArray outer;
    outer.Add(CValue(inner));
    nested = CValue(outer);
    nested = static_cast<CValueArray>(nested)[0];
    EXPECT_EQ(Text(nested), "x");
    CValue self(inner);
    self = self;
    EXPECT_EQ(Text(self), "x");
}

TEST(CTimeTest, DefaultTimeIsTheCurrentFrameAndRateIsTheHosts) {
    host::HostApp& app = host::HostApp::Get();
    app.Reset();
    EXPECT_EQ(XSI::CTime().GetFrameRate(), 30.0);
    app.SetFrameRate(24.0);
    app.SetCurrentFrame(12.0);
    EXPECT_EQ(XSI::CTime().GetTime(), 12.0);
    EXPECT_EQ(XSI::CTime(3.0).GetFrameRate(), 24.0);
    EXPECT_EQ(app.ResolveTime(XSI::kDefaultTime), 12.0);
    EXPECT_EQ(app.ResolveTime(5.0), 5.0);
    app.Reset();
    EXPECT_EQ(XSI::CTime().GetFrameRate(), 30.0);
    EXPECT_EQ(XSI::CTime().GetTime(), 0.0);
}
