// The host-free text helpers: narrowing, slash rules and the fixed-size text
// fields of the export records.
#include "text/ZK_Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Wide2Char, KeepsTheLowByteOfEachCharacter) {
    char out[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    ZK_Wide2Char(L"", out);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'x');

    const wchar_t wide[] = {L'a', L'/', 0xE9, 0x141, 0x10041, 0};
    ZK_Wide2Char(wide, out);
    EXPECT_EQ(std::string(out), std::string("a/\xE9\x41\x41"));
    EXPECT_EQ(out[6], 'x');
}

TEST(Wide2Field, CutsLongTextAtTheLastFittingCharacter) {
    char field[ZK_TEXT_SIZE];
    std::memset(field, 'x', sizeof field);
    ZK_Wide2Field(std::wstring(300, L'n'), field);
    EXPECT_EQ(std::string(field), std::string(ZK_TEXT_SIZE - 1, 'n'));

    ZK_Wide2Field(L"cube", field);
    EXPECT_STREQ(field, "cube");
    // Text after an embedded zero is not part of the name.
    ZK_Wide2Field(std::wstring(L"a\0b", 3), field);
    EXPECT_STREQ(field, "a");
}

TEST(SlashRules, FlipAndDouble) {
    struct Case {
        const char* in;
        const char* flipped;
        const char* doubled;
    };
    const Case cases[] = {
        {"", "", ""},
        {"plain", "plain", "plain"},
        {"C:\\out\\mdd\\", "C:/out/mdd/", "C:\\\\out\\\\mdd\\\\"},
        {"a/b\\c", "a/b/c", "a/b\\\\c"},
        {"\\\\", "//", "\\\\\\\\"},
    };
    for (const Case& c : cases) {
        std::string flipped = c.in;
        linuxSafePath(flipped.data());
        EXPECT_EQ(flipped, c.flipped) << c.in;
        std::string alsoFlipped = c.in;
        flipSlash(alsoFlipped.data());
        EXPECT_EQ(alsoFlipped, c.flipped) << c.in;
        char doubled[32];
        ZK_AddDoubleSlash(c.in, doubled);
        EXPECT_STREQ(doubled, c.doubled) << c.in;
    }
}

TEST(FieldText, ReadsNoFurtherThanTheField) {
    char field[ZK_TEXT_SIZE + 1];
    std::memset(field, 'a', sizeof field);
    field[ZK_TEXT_SIZE] = '\0'; // a zero beyond the field must not be reached
    EXPECT_EQ(ZK_FieldText(field), std::string(ZK_TEXT_SIZE - 1, 'a'));
    field[3] = '\0';
    EXPECT_EQ(ZK_FieldText(field), "aaa");
}

TEST(CopyField, CopiesWhatFitsAndEmptiesTheFieldOtherwise) {
    char field[ZK_TEXT_SIZE];
    std::memset(field, 'x', sizeof field);
    const std::string longest(ZK_TEXT_SIZE - 1, 'p');
    EXPECT_TRUE(ZK_CopyField(longest, field));
    EXPECT_EQ(std::string(field), longest);

    EXPECT_FALSE(ZK_CopyField(longest + "q", field));
    EXPECT_EQ(field[0], '\0');

    EXPECT_TRUE(ZK_CopyField("", field));
    EXPECT_EQ(field[0], '\0');
}

} // namespace
