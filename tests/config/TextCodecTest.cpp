#include "TextCodec.h"

#include <gtest/gtest.h>

// The same Hangul text in the encodings a settings file may come in.
const std::string kHangulUtf8 = "한국 계측 똠방각하";
// CP949, including 똠 (0x8C 0x63), which exists only in the code page's
// extension beyond EUC-KR.
const std::string kHangulCp949 =
    "\xC7\xD1\xB1\xB9 \xB0\xE8\xC3\xF8 \x8C\x63\xB9\xE6\xB0\xA2\xC7\xCF";

TEST(TextCodec, DecodesEachEncodingASettingsFileMayHave)
{
    EXPECT_EQ(DecodeTextFile(kHangulUtf8), kHangulUtf8);
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF" + kHangulUtf8), kHangulUtf8);
    EXPECT_EQ(DecodeTextFile(kHangulCp949), kHangulUtf8);
    // 회사 and U+1F600 (a surrogate pair) in UTF-16LE / BE with BOM.
    EXPECT_EQ(DecodeTextFile(std::string("\xFF\xFE\x8C\xD6\xAC\xC0\x3D\xD8\x00\xDE", 10)), "회사\U0001F600");
    EXPECT_EQ(DecodeTextFile(std::string("\xFE\xFF\xD6\x8C\xC0\xAC", 6)), "회사");
    EXPECT_EQ(DecodeTextFile(""), "");
}

TEST(TextCodec, BrokenInputIsMarkedNotDropped)
{
    // A byte CP949 cannot start a character with: marked, the rest still read.
    EXPECT_EQ(Cp949ToUtf8("\xC7\xD1\xFF" "A\xC7"), "한\uFFFDA\uFFFD");
    // A pair the converter takes whole and refuses at the very end: marked
    // once, and nothing read past the text (found by fuzzing the settings file).
    EXPECT_EQ(Cp949ToUtf8("=\xEC\xEA\xA2\xE8"), "=佚\uFFFD");
    // A lone surrogate and an odd last byte in UTF-16.
    EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xD8" "A\x00" "B", 5)), "\uFFFDA");
    EXPECT_EQ(SanitizeUtf8("a\xC0\xAFz\xED\xA0\x80"), "a\uFFFD\uFFFDz\uFFFD\uFFFD\uFFFD");
}

TEST(TextCodec, Utf8ValidityRejectsOverlongAndSurrogateForms)
{
    EXPECT_TRUE(IsValidUtf8("abc 한글 \U0001F600"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));           // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));       // overlong three-byte
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));       // surrogate D800
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));   // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xEA\xB0"));           // cut short
    // Plain CP949 Hangul is not UTF-8, which is how such files are told apart.
    EXPECT_FALSE(IsValidUtf8(kHangulCp949));
}

TEST(TextCodec, TruncationCountsCharactersAndNeverSplitsOne)
{
    EXPECT_EQ(TruncateUtf8("한국어abc", 2), "한국");
    EXPECT_EQ(TruncateUtf8("a한\U0001F600b", 3), "a한\U0001F600");
    EXPECT_EQ(TruncateUtf8("abc", 3), "abc");
    EXPECT_EQ(TruncateUtf8("abc", 0), "");
    EXPECT_EQ(CountUtf8("a한\U0001F600"), 3u);
}
