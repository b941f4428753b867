#include "CXlsText.h"

#include <gtest/gtest.h>

TEST(CXlsText, Utf8RoundTripsHangulAndCharactersBeyondTheBmp)
{
    const std::string text = "측정 압력 값 😀 (단위: 톤)";
    const std::u16string wide = CXlsText::FromUtf8(text);
    EXPECT_EQ(wide.substr(0, 2), u"측정");
    EXPECT_EQ(wide[8], 0xD83D);   // the emoji is a surrogate pair
    EXPECT_EQ(wide[9], 0xDE00);
    EXPECT_EQ(CXlsText::ToUtf8(wide), text);
}

TEST(CXlsText, BrokenUtf8BecomesReplacementCharactersAndKeepsTheRest)
{
    struct SCase {
        std::string m_strIn;
        std::u16string m_strOut;
    };
    const SCase cases[] = {
        {"a\x80" "b", u"a\uFFFDb"},                 // stray continuation byte
        {"\xC0\xAF", u"\uFFFD\uFFFD"},              // overlong '/', lead never valid
        {"\xE0\x80\xAF", u"\uFFFD"},                // overlong three-byte form
        {"\xED\xA0\x80x", u"\uFFFDx"},              // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD"},            // past U+10FFFF
        {"\xEC\xB8", u"\uFFFD"},                    // cut off at the end
        {"\xEC\xB8" "A", u"\uFFFDA"},               // cut off before a good character
        {"\xFF", u"\uFFFD"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(CXlsText::FromUtf8(c.m_strIn), c.m_strOut) << c.m_strIn;
}

TEST(CXlsText, TruncateNeverCutsASurrogatePair)
{
    const std::u16string text = u"ab\U0001F600c";
    EXPECT_EQ(CXlsText::Truncate(text, 3), u"ab");
    EXPECT_EQ(CXlsText::Truncate(text, 4), u"ab\U0001F600");
    EXPECT_EQ(CXlsText::Truncate(text, 99), text);
}

TEST(CXlsText, SheetNamesAreMadeAcceptable)
{
    EXPECT_EQ(CXlsText::SanitizeSheetName(u"저장 압력 확인 데이터"), u"저장 압력 확인 데이터");
    EXPECT_EQ(CXlsText::SanitizeSheetName(u"a:b\\c/d?e*f[g]h"), u"a_b_c_d_e_f_g_h");
    EXPECT_EQ(CXlsText::SanitizeSheetName(u"tab\there"), u"tab_here");
    EXPECT_EQ(CXlsText::SanitizeSheetName(u"'quoted'"), u"_quoted_");
    EXPECT_EQ(CXlsText::SanitizeSheetName(u"it's"), u"it's");
    EXPECT_EQ(CXlsText::SanitizeSheetName(u""), u"Sheet1");
    EXPECT_EQ(CXlsText::SanitizeSheetName(u"HISTORY"), u"HISTORY_");
    const std::u16string longName(40, u'가');
    EXPECT_EQ(CXlsText::SanitizeSheetName(longName), std::u16string(31, u'가'));
}
