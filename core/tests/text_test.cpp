#include <gtest/gtest.h>

#include "text.h"

using namespace cartscope;

TEST(Text, RoundTripsEveryPlane) {
    const std::u16string text = u"Zeichen äöü – ゲーム 😀";
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
    EXPECT_EQ(toUtf8(u"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(toUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Text, BrokenInputBecomesReplacementCharacters) {
    // An unpaired surrogate in a banner title must not stop the output.
    EXPECT_EQ(toUtf8(std::u16string{u'A', char16_t(0xD800), u'B'}), "A\xEF\xBF\xBD" "B");
    EXPECT_EQ(toUtf8(std::u16string{char16_t(0xDC00)}), "\xEF\xBF\xBD");
    // A truncated sequence, a stray continuation byte and an overlong form.
    EXPECT_EQ(fromUtf8("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(fromUtf8("\x80z"), u"\uFFFDz");
    EXPECT_EQ(fromUtf8("\xC0\xAF"), u"\uFFFD");
    EXPECT_EQ(fromUtf8("\xE3\x81x"), u"\uFFFDx");
}

TEST(Text, WidenTakesBytesAsLatin1) { EXPECT_EQ(widen("A\xE9\xFF"), (std::u16string{u'A', 0xE9, 0xFF})); }
