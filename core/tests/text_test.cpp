#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/text.h"

using namespace cartscope;

TEST(Text, RoundTripsEveryPlane) {
    const std::u16string text = u"Zeichen äöü – ゲーム 😀";
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
    EXPECT_EQ(toUtf8(u"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(toUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Text, BrokenInputBecomesReplacementCharacters) {
    // An unpaired surrogate in a banner title must not stop the output.
    EXPECT_EQ(toUtf8(std::u16string{u'A', char16_t(0xD800), u'B'}),
              "A\xEF\xBF\xBD"
              "B");
    EXPECT_EQ(toUtf8(std::u16string{char16_t(0xDC00)}), "\xEF\xBF\xBD");
    // A truncated sequence, a stray continuation byte and an overlong form.
    EXPECT_EQ(fromUtf8("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(fromUtf8("\x80z"), u"\uFFFDz");
    EXPECT_EQ(fromUtf8("\xC0\xAF"), u"\uFFFD");
    EXPECT_EQ(fromUtf8("\xE3\x81x"), u"\uFFFDx");
}

TEST(Text, WidenTakesBytesAsLatin1) { EXPECT_EQ(widen("A\xE9\xFF"), (std::u16string{u'A', 0xE9, 0xFF})); }

TEST(Text, EscapedBytesComeBackAsTheyWere) {
    // Bytes that are not UTF-8 stand for themselves as U+DC80-U+DCFF; valid
    // sequences around them decode as usual.
    EXPECT_EQ(fromUtf8("caf\xE9", Utf8Errors::Escape), (std::u16string{u'c', u'a', u'f', 0xDCE9}));
    EXPECT_EQ(fromUtf8("\xE3\x81x\xC3\xA9", Utf8Errors::Escape), (std::u16string{0xDCE3, 0xDC81, u'x', u'\u00e9'}));
    EXPECT_EQ(fromUtf8("\xF0\x9F\x98\x80", Utf8Errors::Escape), u"\U0001F600");
    EXPECT_EQ(toUtf8(std::u16string{u'c', 0xDCE9}, Utf8Errors::Escape), "c\xE9");
    // A surrogate that stands for no byte is still replaced, in both directions.
    EXPECT_EQ(toUtf8(std::u16string{char16_t(0xDC7F)}, Utf8Errors::Escape), "\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8(std::u16string{char16_t(0xD800), u'a'}, Utf8Errors::Escape),
              "\xEF\xBF\xBD"
              "a");
    // Shown text is never escaped.
    EXPECT_EQ(toUtf8(std::u16string{0xDCE9}), "\xEF\xBF\xBD");

    // Every byte string survives: overlong forms, encoded surrogates, cut
    // sequences, code points beyond U+10FFFF, and text that looks like an
    // escaped byte written out in UTF-8 (U+DCE9 is ED B3 A9).
    const std::vector<std::string> samples = {"\xC0\xAF",         "\xED\xA0\x80\xED\xB0\x80", "\xED\xB3\xA9", "a\xC3",
                                              "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",     "\xFF\xFE",     "\x80\x80\xBF"};
    for (const std::string& bytes : samples) {
        EXPECT_EQ(toUtf8(fromUtf8(bytes, Utf8Errors::Escape), Utf8Errors::Escape), bytes);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 12, '\0');
        for (char& c : bytes) c = static_cast<char>(random() % 3 == 0 ? 0x80 | random() % 0x80 : random() % 0x100);
        ASSERT_EQ(toUtf8(fromUtf8(bytes, Utf8Errors::Escape), Utf8Errors::Escape), bytes);
    }
}
