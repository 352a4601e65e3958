#include "core/code_tables.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using cartscope::languageCode;
using cartscope::makerName;
using cartscope::makerTable;
using cartscope::regionName;
using cartscope::regionTable;

// Every maker key, in the order the table must keep.
const char kMakerKeysInOrder[] =
    "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 0G 0H 0J 0L 0N 0P 10 12 13 "
    "15 16 17 18 19 1A 1C 1D 1E 1F 1G 1J 1P 1Q 20 21 22 23 25 26 27 28 29 2A "
    "2C 2D 2E 2F 2G 2H 2J 2K 2L 2M 2N 2Q 30 31 32 34 35 36 37 38 39 3B 3C 3D "
    "3E 3F 40 41 42 44 46 47 49 4B 4C 4D 4F 4G 4J 4K 4Q 4S 4U 4X 4Y 4Z 50 51 "
    "52 53 54 55 56 58 5A 5B 5C 5D 5F 5G 5H 5K 5L 5M 5N 5P 5Q 5S 5T 5W 5X 5Z "
    "60 61 62 64 67 68 69 6B 6E 6F 6G 6H 6J 6L 6M 6N 6Q 6S 6U 6V 6W 6X 6Y 6Z "
    "70 71 72 73 75 78 79 7A 7C 7D 7F 7G 7H 7J 7K 7L 7M 7N 7Q 7T 7U 7W 80 81 "
    "82 83 84 86 87 88 8B 8C 8E 8F 8G 8J 8N 8P 90 91 92 93 95 96 97 99 9A 9B "
    "9C 9F 9G 9H 9J 9L 9N 9P 9Q A0 A1 A4 A5 A6 A7 A9 AA AC AD AF AG AH AJ AK "
    "AL AP AQ B0 B1 B2 B4 B6 B7 B9 BA BB BC BD BF BG BH BJ BL BN BP BQ C0 C2 "
    "C3 C4 C5 C6 C8 CA CB CC CD CE CF CJ CG CK CL CM CP D0 D1 D2 D3 D4 D6 D7 "
    "D8 D9 DA DB DD DE DF DG DH DL DN E0 E1 E2 E3 E4 E5 E7 E8 E9 EA EB EC EE "
    "EG EH EJ EL EM EN F0 F1 F2 F3 F4 F9 FB FE FK FR G1 G4 G5 G6 G7 G8 G9 GB "
    "GD GL GM GN GR GT GZ GW H3 H4 HH HM HZ HV IH JH JN JQ JW KJ KM KP KS LG "
    "LX MJ ML MN MR MT MV NK NP PL PP RM RS RT RW S5 SM SU SV TM TN TP TV UH "
    "UJ US VP WP WR ";

std::vector<std::string> expectedKeys() {
    std::istringstream in(kMakerKeysInOrder);
    std::vector<std::string> keys;
    for (std::string key; in >> key;) keys.push_back(key);
    return keys;
}

std::u16string maker(const char (&code)[3]) {
    const char16_t* name = makerName(static_cast<std::uint8_t>(code[0]), static_cast<std::uint8_t>(code[1]));
    return name ? std::u16string(name) : std::u16string(u"<none>");
}

std::u16string region(char letter) {
    const char16_t* name = regionName(static_cast<std::uint8_t>(letter));
    return name ? std::u16string(name) : std::u16string(u"<none>");
}

// ---------------------------------------------------------------------------
// Maker table: shape

TEST(MakerTable, HasExactly365RowsWithUniqueKeys) {
    std::size_t count = 0;
    const cartscope::MakerRow* rows = makerTable(count);
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(count, 365u);
    EXPECT_EQ(count, cartscope::kMakerCount);

    std::set<std::string> seen;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string key(rows[i].key, 2);
        EXPECT_TRUE(seen.insert(key).second) << "duplicate key " << key;
    }
}

TEST(MakerTable, KeysFollowTheFixedOrder) {
    const std::vector<std::string> expected = expectedKeys();
    ASSERT_EQ(expected.size(), 365u);  // guards the literal above

    std::size_t count = 0;
    const cartscope::MakerRow* rows = makerTable(count);
    ASSERT_EQ(count, expected.size());
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(std::string(rows[i].key, 2), expected[i]) << "row " << i;
}

TEST(MakerTable, KeysAreDigitsOrUpperCaseAndNamesAreNonEmpty) {
    std::size_t count = 0;
    const cartscope::MakerRow* rows = makerTable(count);
    for (std::size_t i = 0; i < count; ++i) {
        for (char c : rows[i].key) {
            const unsigned char u = static_cast<unsigned char>(c);
            EXPECT_TRUE(std::isdigit(u) || std::isupper(u)) << "row " << i;
        }
        ASSERT_NE(rows[i].name, nullptr) << "row " << i;
        EXPECT_NE(rows[i].name[0], u'\0') << "row " << i;
    }
}

// ---------------------------------------------------------------------------
// Maker lookup

TEST(MakerLookup, EveryRowIsFoundByItsOwnKey) {
    std::size_t count = 0;
    const cartscope::MakerRow* rows = makerTable(count);
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t* found = makerName(static_cast<std::uint8_t>(rows[i].key[0]), static_cast<std::uint8_t>(rows[i].key[1]));
        EXPECT_EQ(found, rows[i].name) << "key " << std::string(rows[i].key, 2);
    }
}

TEST(MakerLookup, KnownCodesGiveTheirExactNames) {
    struct Case {
        char key[3];
        const char16_t* name;
    };
    const Case cases[] = {
        {"01", u"Nintendo"},
        {"02", u"Rocket Games, Ajinomoto"},
        {"04", u"Gray Matter?"},
        {"08", u"Capcom"},
        {"0A", u"Jaleco"},
        {"10", u"?????????????"},
        {"13", u"Electronic Arts Japan"},
        {"18", u"Hudson Soft"},
        {"20", u"Destination Software or KSS or DSI Games"},
        {"21", u"Sunsoft or Tokai Engineering??"},
        {"41", u"Ubi Soft Entertainment"},
        {"4F", u"Eidos (was U.S. Gold <=1995)"},
        {"4Q", u"Disney Interactive"},
        {"4Y", u"RARE?"},
        {"4Z", u"Crave Entertainment"},
        {"51", u"Acclaim"},
        {"52", u"Activision"},
        {"54", u"Take 2 Interactive (before it was GameTek)"},
        {"5D", u"Midway (before it was Tradewest)"},
        {"5G", u"Majesco Sales Inc"},
        {"5H", u"3DO"},
        {"64", u"LucasArts Entertainment"},
        {"69", u"Electronic Arts"},
        {"6L", u"BAM! Entertainment"},
        {"6V", u"JoWooD Productions"},
        {"6W", u"SEGA"},
        {"70", u"Atari (was Infogrames <= 05.2003)"},
        {"78", u"THQ"},
        {"7D", u"Universal Interactive, Sierra, Simon & Schuster?"},
        {"7J", u"Zoo Digital"},
        {"82", u"Namco Ltd."},
        {"8P", u"SEGA Japan"},
        {"99", u"Victor Interactive Software or Pack in Video or Rising Star Games"},
        {"A4", u"Konami"},
        {"AF", u"Namco"},
        {"B2", u"Bandai"},
        {"D3", u"Sigma, ?????"},
        {"DL", u"????"},
        {"E9", u"Natsume"},
        {"EB", u"Atlus"},
        {"G9", u"D3 Publisher"},
        {"GD", u"Square-Enix"},
        {"GT", u"505 Games"},
        {"JW", u"Bigben Interactive"},
        {"WR", u"Warner Bros. Interactive"},
    };
    for (const Case& c : cases) EXPECT_EQ(maker(c.key), std::u16string(c.name)) << "key " << c.key;
}

TEST(MakerLookup, NamesWithTrailingBlankAndTabAreKeptVerbatim) {
    const std::u16string compile = maker("BJ");
    EXPECT_EQ(compile, u"Compile ");
    ASSERT_FALSE(compile.empty());
    EXPECT_EQ(compile.back(), u' ');

    const std::u16string tonkin = maker("C6");
    EXPECT_EQ(tonkin, u"Tonkin House\t(was Tokyo Shoseki)");
    EXPECT_EQ(tonkin.find(u'\t'), std::u16string(u"Tonkin House").size());
}

TEST(MakerLookup, SeveralCodesMayShareOneName) {
    EXPECT_EQ(maker("MN"), u"Mindscape");
    EXPECT_EQ(maker("MR"), u"Mindscape");
    EXPECT_EQ(maker("17"), u"KOEI");
    EXPECT_EQ(maker("84"), u"KOEI");
    EXPECT_EQ(maker("26"), u"Enix");
    EXPECT_EQ(maker("B4"), u"Enix");
}

TEST(MakerLookup, MatchIsExactCaseSensitiveAndOrdered) {
    EXPECT_EQ(makerName('0', 'a'), nullptr);  // "0A" exists, "0a" does not
    EXPECT_EQ(makerName('w', 'r'), nullptr);
    // Swapped bytes name a different row, not the same one.
    EXPECT_EQ(maker("0A"), u"Jaleco");
    EXPECT_NE(maker("A0"), u"Jaleco");
    EXPECT_NE(makerName('A', '0'), nullptr);
}

TEST(MakerLookup, CodesOutsideTheTableGiveNothing) {
    EXPECT_EQ(makerName(0, 0), nullptr);
    EXPECT_EQ(makerName('0', 0), nullptr);    // half a key
    EXPECT_EQ(makerName('0', '0'), nullptr);  // keys start at "01"
    EXPECT_EQ(makerName('1', '1'), nullptr);  // gap between "10" and "12"
    EXPECT_EQ(makerName('Z', 'Z'), nullptr);
    EXPECT_EQ(makerName(0xFF, 0xFF), nullptr);
    // Bytes with the high bit set must not alias an ASCII key.
    EXPECT_EQ(makerName('0' | 0x80, 'A'), nullptr);
    EXPECT_EQ(makerName('0', 'A' | 0x80), nullptr);
}

// ---------------------------------------------------------------------------
// Region table and lookup

TEST(RegionTable, RowsInOrder) {
    std::size_t count = 0;
    const cartscope::RegionRow* rows = regionTable(count);
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(count, 11u);

    const char keys[] = "JEPDFISHKVX";
    const char16_t* names[] = {u"JPN", u"USA", u"EUR", u"GER", u"FRE", u"ITA", u"SPA", u"HOL", u"KOR", u"EUU", u"EUU"};
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(rows[i].key, keys[i]) << "row " << i;
        EXPECT_EQ(std::u16string(rows[i].name), names[i]) << "row " << i;
    }
}

TEST(RegionLookup, KnownLettersGiveTheirNames) {
    EXPECT_EQ(region('J'), u"JPN");
    EXPECT_EQ(region('E'), u"USA");
    EXPECT_EQ(region('P'), u"EUR");
    EXPECT_EQ(region('K'), u"KOR");
    EXPECT_EQ(region('V'), u"EUU");
    EXPECT_EQ(region('X'), u"EUU");
}

TEST(RegionLookup, UnknownLettersGiveNothing) {
    EXPECT_EQ(regionName('U'), nullptr);
    EXPECT_EQ(regionName('C'), nullptr);
    EXPECT_EQ(regionName('j'), nullptr);  // case-sensitive
    EXPECT_EQ(regionName(0), nullptr);
    EXPECT_EQ(regionName('J' | 0x80), nullptr);
}

// ---------------------------------------------------------------------------
// Language codes

TEST(LanguageCode, BitsMapToCodes) {
    ASSERT_EQ(cartscope::kLanguageCount, 20u);
    ASSERT_NE(languageCode(0), nullptr);
    EXPECT_STREQ(languageCode(0), "eng");
    EXPECT_STREQ(languageCode(3), "ger");
    EXPECT_STREQ(languageCode(19), "kor");
}

TEST(LanguageCode, AllBitsInOrder) {
    std::string joined;
    for (unsigned bit = 0; bit < cartscope::kLanguageCount; ++bit) {
        const char* code = languageCode(bit);
        joined += code ? code : "<none>";
        joined += ' ';
    }
    EXPECT_EQ(joined,
              "eng jap fre ger ita spa dut por gre fin "
              "dan nor swe rus tur hun cze pol chi kor ");
}

TEST(LanguageCode, EveryCodeIsThreeDistinctLowerCaseLetters) {
    std::set<std::string> seen;
    for (unsigned bit = 0; bit < cartscope::kLanguageCount; ++bit) {
        const char* code = languageCode(bit);
        ASSERT_NE(code, nullptr) << "bit " << bit;
        ASSERT_EQ(std::strlen(code), 3u) << "bit " << bit;
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::islower(static_cast<unsigned char>(code[i]))) << "bit " << bit;
        EXPECT_TRUE(seen.insert(code).second) << "duplicate " << code;
    }
}

TEST(LanguageCode, BitsBeyondTheTableGiveNothing) {
    EXPECT_EQ(languageCode(20), nullptr);
    EXPECT_EQ(languageCode(31), nullptr);
    EXPECT_EQ(languageCode(~0u), nullptr);
}

}  // namespace
