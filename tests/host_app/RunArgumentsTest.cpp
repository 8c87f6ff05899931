// How `xsihost run` maps its ARG texts onto a command's arguments.
#include "RunArguments.h"
#include "Subcommands.h"

#include <gtest/gtest.h>

using XSI::CValue;
using XSI::CValueArray;
using XSI::LONG;
using xsihost::MapArguments;
using xsihost::ParseArgumentValue;

namespace {

host::CommandSignature Declared(std::vector<std::wstring> names) {
    host::CommandSignature sig;
    sig.declared = true;
    sig.argumentNames = std::move(names);
    return sig;
}

std::string Text(const CValue& v) {
    return v.GetAsText().GetAsciiString();
}

} // namespace

TEST(RunArgumentsTest, ValuesAreIntegersBoolsOrText) {
    EXPECT_EQ(ParseArgumentValue("42").GetType(), CValue::siInt4);
    EXPECT_EQ(static_cast<LONG>(ParseArgumentValue("-7")), -7);
    EXPECT_EQ(static_cast<LONG>(ParseArgumentValue("+7")), 7);
    EXPECT_EQ(ParseArgumentValue("2147483648").GetType(), CValue::siString); // does not fit
    EXPECT_EQ(ParseArgumentValue("1.5").GetType(), CValue::siString);
    EXPECT_EQ(ParseArgumentValue("-").GetType(), CValue::siString);
    EXPECT_EQ(ParseArgumentValue("").GetType(), CValue::siString);
    EXPECT_EQ(ParseArgumentValue("true").GetType(), CValue::siBool);
    EXPECT_FALSE(static_cast<bool>(ParseArgumentValue("false")));
    EXPECT_EQ(ParseArgumentValue("True").GetType(), CValue::siString);
    EXPECT_EQ(Text(ParseArgumentValue("/tmp/out dir")), "/tmp/out dir");
}

TEST(RunArgumentsTest, PositionalAndNamedValuesMixLeftToRight) {
    host::CommandSignature sig = Declared({L"A", L"B", L"C", L"D"});
    sig.argumentDefaults = {CValue(), CValue(), CValue(L"dc")};
    // B by name; positionals fill A, then C (B is taken).
    CValueArray v = MapArguments("Cmd", sig, {"a", "B=2", "c"});
    ASSERT_EQ(v.GetCount(), 4);
    EXPECT_EQ(Text(v[0]), "a");
    EXPECT_EQ(static_cast<LONG>(v[1]), 2);
    EXPECT_EQ(Text(v[2]), "c");
    EXPECT_TRUE(v[3].IsEmpty());

    // A name first; the positional goes to the first free argument.
    v = MapArguments("Cmd", sig, {"D=x=y", "first"});
    EXPECT_EQ(Text(v[0]), "first");
    EXPECT_EQ(Text(v[2]), "dc"); // left out: its default
    EXPECT_EQ(Text(v[3]), "x=y");

    // Text that is no NAME=VALUE is positional.
    v = MapArguments("Cmd", sig, {"/a=b", "1=2"});
    EXPECT_EQ(Text(v[0]), "/a=b");
    EXPECT_EQ(Text(v[1]), "1=2");
}

TEST(RunArgumentsTest, DuplicateUnknownOrSurplusArgumentsAreErrorsOfUse) {
    host::CommandSignature sig = Declared({L"A", L"B"});
    EXPECT_THROW(MapArguments("Cmd", sig, {"A=1", "A=2"}), xsihost::UsageError);
    EXPECT_THROW(MapArguments("Cmd", sig, {"x", "A=2"}), xsihost::UsageError);
    EXPECT_THROW(MapArguments("Cmd", sig, {"Z=1"}), xsihost::UsageError);
    EXPECT_THROW(MapArguments("Cmd", sig, {"a=1"}), xsihost::UsageError); // names are exact
    EXPECT_THROW(MapArguments("Cmd", sig, {"1", "2", "3"}), xsihost::UsageError);
    EXPECT_THROW(MapArguments("Cmd", sig, {"B=1", "2", "3"}), xsihost::UsageError);
    EXPECT_NO_THROW(MapArguments("Cmd", sig, {"B=1", "2"}));
    try {
        MapArguments("Cmd", sig, {"Z=1"});
    } catch (const xsihost::UsageError& e) {
        EXPECT_STREQ(e.what(), "command \"Cmd\" has no argument \"Z\"");
    }
}

TEST(RunArgumentsTest, UndeclaredCommandsTakeEveryValueByPosition) {
    host::CommandSignature sig; // not declared
    CValueArray v = MapArguments("SelectObj", sig, {"cube", "A=1", "3"});
    ASSERT_EQ(v.GetCount(), 3);
    EXPECT_EQ(Text(v[1]), "A=1");
    EXPECT_EQ(v[2].GetType(), CValue::siInt4);
}
