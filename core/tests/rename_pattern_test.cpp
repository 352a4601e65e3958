#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "core/byte_source.h"
#include "core/rename_pattern.h"
#include "core/tests/support/rom_builder.h"
#include "core/rom_info.h"
#include "core/text.h"

using namespace cartscope;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;

namespace {

// A record with a database release, as the database step leaves it.
RomInfo releasedRom(bool trimmed) {
    RomInfo rom;
    rom.capacity = 0x8000;
    rom.fileSize = trimmed ? 0x7FFF : 0x8000;
    rom.releaseNumber = u"0123";
    rom.region = u"EUR";
    rom.releaseGroup = u"GRP";
    return rom;
}

std::u16string apply(bool trimmed, std::u16string_view pattern, std::u16string_view title = u"Game") {
    return applyRenamePattern(releasedRom(trimmed), pattern, title);
}

// One match as offsets into the searched text, comparable between matchers.
struct MatchRecord {
    std::size_t position, length, trimmedAt, trimmedLength, untrimmedAt, untrimmedLength;
    bool operator==(const MatchRecord& o) const {
        return position == o.position && length == o.length && trimmedAt == o.trimmedAt && trimmedLength == o.trimmedLength &&
               untrimmedAt == o.untrimmedAt && untrimmedLength == o.untrimmedLength;
    }
};

std::ostream& operator<<(std::ostream& out, const MatchRecord& m) {
    return out << "{at " << m.position << " len " << m.length << ", g1 " << m.trimmedAt << "+" << m.trimmedLength << ", g2 "
               << m.untrimmedAt << "+" << m.untrimmedLength << "}";
}

std::vector<MatchRecord> blocksOf(std::u16string_view text) {
    std::vector<MatchRecord> found;
    std::size_t from = 0;
    while (auto block = findTrimBlock(text, from)) {
        found.push_back({block->position, block->length, std::size_t(block->trimmed.data() - text.data()), block->trimmed.size(),
                         std::size_t(block->untrimmed.data() - text.data()), block->untrimmed.size()});
        from = block->position + block->length;
    }
    return found;
}

const std::regex& trimBlockRegex() {
    static const std::regex expression("%S([^,%]*),?([^%]*)%s", std::regex::ECMAScript);
    return expression;
}

std::vector<MatchRecord> regexMatchesOf(const std::string& text) {
    std::vector<MatchRecord> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), trimBlockRegex()); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        found.push_back({std::size_t(m.position(0)), std::size_t(m.length(0)), std::size_t(m.position(1)),
                         std::size_t(m.length(1)), std::size_t(m.position(2)), std::size_t(m.length(2))});
    }
    return found;
}

}  // namespace

// --- The "%S...%s" matcher ------------------------------------------------

TEST(RenamePatternTrimBlock, GroupsFollowTheFirstCommaAndTheFirstPercent) {
    struct Case {
        std::u16string_view text;
        std::u16string_view trimmed, untrimmed;
        std::size_t position, length;
    };
    const Case cases[] = {
        {u"%Strim,full%s", u"trim", u"full", 0, 13},
        {u"%Sa,b,c%s", u"a", u"b,c", 0, 9},  // later commas belong to the second text
        {u"%S%s", u"", u"", 0, 4},
        {u"%S,%s", u"", u"", 0, 5},
        {u"%S,,%s", u"", u",", 0, 6},
        {u"%S (trimmed)%s", u" (trimmed)", u"", 0, 14},
        {u"x%Sa%S b%s", u" b", u"", 4, 6},  // the first "%S" closes at "%S", not "%s"
        {u"%Sa%Sb%s%s", u"b", u"", 3, 5},   // nesting: the inner block alone
        {u"%%Sa%s", u"a", u"", 1, 5},       // the matcher itself knows nothing of "%%"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.text));
        const auto block = findTrimBlock(c.text);
        ASSERT_TRUE(block.has_value());
        EXPECT_EQ(block->position, c.position);
        EXPECT_EQ(block->length, c.length);
        EXPECT_EQ(block->trimmed, c.trimmed);
        EXPECT_EQ(block->untrimmed, c.untrimmed);
    }
}

TEST(RenamePatternTrimBlock, UnclosedOrWrongCaseBlocksDoNotMatch) {
    for (std::u16string_view text :
         {u"", u"%S", u"%Sab", u"%Sa,b%", u"%Sa,b%S", u"%sa%S", u"%sa,b%S", u"%S%G%s", u"%sS%s", u"%Sa%", u"%Sab%x%s"}) {
        SCOPED_TRACE(toUtf8(text));
        EXPECT_FALSE(findTrimBlock(text).has_value());
    }
    // A percent sign that only looks alike is ordinary text.
    const auto block = findTrimBlock(u"%Sa\uFF05b%s");
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->trimmed, u"a\uFF05b");
}

TEST(RenamePatternTrimBlock, SearchStartsAtTheGivenIndex) {
    const std::u16string_view text = u"%Sa%s%Sb,c%s";
    EXPECT_EQ(findTrimBlock(text, 0)->position, 0u);
    EXPECT_EQ(findTrimBlock(text, 1)->position, 5u);
    EXPECT_EQ(findTrimBlock(text, 5)->untrimmed, u"c");
    EXPECT_FALSE(findTrimBlock(text, 6).has_value());
    EXPECT_FALSE(findTrimBlock(text, 100).has_value());
}

// Every string of up to six units over the characters that matter, then
// longer random ones: the global left-to-right search gives the same matches
// and groups as std::regex.
TEST(RenamePatternTrimBlock, AgreesWithStdRegexOnEveryMatch) {
    static const char kAlphabet[] = {'%', 'S', 's', ',', 'a', 'b'};
    std::size_t totalMatches = 0;
    const auto check = [&](const std::string& text) {
        const auto expected = regexMatchesOf(text);
        const auto actual = blocksOf(widen(text));
        totalMatches += expected.size();
        ASSERT_EQ(actual, expected) << "text: \"" << text << "\"";
    };

    std::string text;
    for (std::size_t length = 0; length <= 6; ++length) {
        std::size_t count = 1;
        for (std::size_t i = 0; i < length; ++i) count *= sizeof kAlphabet;
        for (std::size_t n = 0; n < count; ++n) {
            text.clear();
            for (std::size_t i = 0, rest = n; i < length; ++i, rest /= sizeof kAlphabet)
                text += kAlphabet[rest % sizeof kAlphabet];
            check(text);
            if (HasFatalFailure()) return;
        }
    }

    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> lengthOf(7, 48);
    std::uniform_int_distribution<std::size_t> letter(0, sizeof kAlphabet - 1);
    for (int round = 0; round < 20000; ++round) {
        text.clear();
        const std::size_t length = lengthOf(random);
        for (std::size_t i = 0; i < length; ++i) text += kAlphabet[letter(random)];
        check(text);
        if (HasFatalFailure()) return;
    }
    // The alphabet is small enough that blocks turn up often.
    EXPECT_GT(totalMatches, 1000u);
}

// --- applyRenamePattern ----------------------------------------------------

TEST(RenamePattern, ReplacesEachPlaceholder) {
    EXPECT_EQ(apply(false, u"[%N] %T(%R)"), u"[0123] Game(EUR)");
    EXPECT_EQ(apply(false, u"%G-%T"), u"GRP-Game");
    EXPECT_EQ(apply(false, u"%T%T"), u"GameGame");
    EXPECT_EQ(apply(false, u"%T"), u"Game");
    EXPECT_EQ(apply(false, u"no placeholder"), u"no placeholder");
    EXPECT_EQ(apply(false, u"%t %n %X"), u"%t %n %X");  // lower case and unknown letters are text
    // Without a database record the record's initial values show.
    EXPECT_EQ(applyRenamePattern(RomInfo{}, u"[%N] %T %R|%G|", u"Game"), u"[XXXX] Game XXX__");
}

TEST(RenamePattern, EmptyPatternOrTitle) {
    EXPECT_EQ(apply(false, u"", u"Game"), u"");
    EXPECT_EQ(apply(true, u"", u"Game"), u"");
    EXPECT_EQ(apply(false, u"[%N] %T", u""), u"[0123] ");
}

TEST(RenamePattern, TrimBlockFollowsTheFileState) {
    EXPECT_EQ(apply(false, u"%T%S (trimmed)%s"), u"Game");
    EXPECT_EQ(apply(true, u"%T%S (trimmed)%s"), u"Game (trimmed)");
    EXPECT_EQ(apply(true, u"%T %Strim,full%s"), u"Game trim");
    EXPECT_EQ(apply(false, u"%T %Strim,full%s"), u"Game full");
    EXPECT_EQ(apply(false, u"%Sa,b,c%s"), u"b,c");
    EXPECT_EQ(apply(true, u"%Sa,b,c%s"), u"a");
    // Several blocks, each on its own.
    EXPECT_EQ(apply(true, u"%S1,2%s-%S3,4%s"), u"1-3");
    EXPECT_EQ(apply(false, u"%S1,2%s-%S3,4%s"), u"2-4");
    // The file state is the size test of the record itself.
    RomInfo rom = releasedRom(false);
    rom.fileSize = rom.capacity + 1;
    EXPECT_EQ(applyRenamePattern(rom, u"%St,u%s", u""), u"u");
    rom.fileSize = rom.capacity - 1;
    EXPECT_EQ(applyRenamePattern(rom, u"%St,u%s", u""), u"t");
}

TEST(RenamePattern, UnmatchedBlocksStayAsWritten) {
    EXPECT_EQ(apply(true, u"%T %Sab"), u"Game %Sab");
    EXPECT_EQ(apply(true, u"%Sa%S b%s"), u"%Sa b");
    EXPECT_EQ(apply(false, u"%Sa%S b%s"), u"%Sa");
    EXPECT_EQ(apply(true, u"%Sa%Sb%s%s"), u"%Sab%s");
}

TEST(RenamePattern, PercentAndHashSurviveTheEscapes) {
    EXPECT_EQ(apply(false, u"100%% %T"), u"100% Game");
    EXPECT_EQ(apply(false, u"#%T#"), u"#Game#");
    EXPECT_EQ(apply(false, u"%T ## x"), u"Game ## x");
    EXPECT_EQ(apply(false, u"%%%T%%"), u"%Game%");
    EXPECT_EQ(apply(false, u"%%#%T"), u"%#Game");
    // A literal '#' right before "%%" stays a '#'.
    EXPECT_EQ(apply(false, u"#%% %T"), u"#% Game");
    EXPECT_EQ(apply(false, u"##%%#%T"), u"##%#Game");
    // "%%" hides a following letter from its placeholder.
    EXPECT_EQ(apply(false, u"%%T %%N %%R %%G %T"), u"%T %N %R %G Game");
    EXPECT_EQ(apply(true, u"%%S%s %T"), u"%S%s Game");
    // Inside a block "%%" is still a percent sign.
    EXPECT_EQ(apply(true, u"%S50%%,0%%%s"), u"50%");
    EXPECT_EQ(apply(false, u"%S50%%,0%%%s"), u"0%");
}

TEST(RenamePattern, StepOrderShowsInTheResult) {
    // Placeholders in the title: those replaced after %T are seen, %N is not.
    EXPECT_EQ(apply(false, u"%T", u"A %R B"), u"A EUR B");
    EXPECT_EQ(apply(false, u"%T", u"A %G B"), u"A GRP B");
    EXPECT_EQ(apply(false, u"%T", u"A %N B"), u"A %N B");
    EXPECT_EQ(apply(false, u"%T", u"%T"), u"%T");
    EXPECT_EQ(apply(true, u"%T", u"x%Sa,b%s"), u"xa");
    // "##" in a title collapses, "%%" does not; a lone "#" stays.
    EXPECT_EQ(apply(false, u"%T", u"A##B"), u"A%B");
    EXPECT_EQ(apply(false, u"%T", u"A###B"), u"A%#B");
    EXPECT_EQ(apply(false, u"%T", u"100%%"), u"100%%");
    EXPECT_EQ(apply(false, u"%T", u"#1"), u"#1");
    EXPECT_EQ(apply(false, u"%T", u"a\\#b"), u"a#b");  // the escape's backslash goes with it
    // %N, %T and %R are filled in before a block is read ...
    EXPECT_EQ(apply(true, u"%S%N %T,%R%s"), u"0123 Game");
    EXPECT_EQ(apply(false, u"%S%N %T,%R%s"), u"EUR");
    // ... and a title with a comma moves the split of the block.
    EXPECT_EQ(apply(true, u"%S%T%s", u"A, B"), u"A");
    EXPECT_EQ(apply(false, u"%S%T%s", u"A, B"), u" B");
    // %G inside a block keeps the block from matching; only %G is replaced.
    EXPECT_EQ(apply(true, u"%T%S [%G]%s"), u"Game%S [GRP]%s");
    EXPECT_EQ(apply(false, u"%T%S [%G]%s"), u"Game%S [GRP]%s");
}

TEST(RenamePattern, ResultIsSanitized) {
    EXPECT_EQ(apply(false, u"%T", u"A/B: C?"), u"A_B_ C_");
    EXPECT_EQ(apply(false, u"<%T>|\"*\\"), u"_Game_____");
    RomInfo rom = releasedRom(false);
    rom.releaseGroup = u"a/b";
    EXPECT_EQ(applyRenamePattern(rom, u"%T %G", u"x"), u"x a_b");
}

TEST(SanitizeFileName, ReplacesExactlyTheNineReservedCharacters) {
    std::u16string name = u"\\/:*?\"<>|";
    sanitizeFileName(name);
    EXPECT_EQ(name, u"_________");

    // Everything else stays, including blanks and dots at the ends and
    // characters that only resemble the reserved ones.
    std::u16string kept = u" .a-b_c#%&'()[]{}~!\u00E9\uFF0F\uFF1A\u2215\n. ";
    const std::u16string before = kept;
    sanitizeFileName(kept);
    EXPECT_EQ(kept, before);

    std::u16string empty;
    sanitizeFileName(empty);
    EXPECT_EQ(empty, u"");
}

// --- validateRenamePattern -------------------------------------------------

TEST(RenamePatternValidation, AcceptsWellFormedPatterns) {
    for (std::u16string_view pattern : {u"%T", u"[%N] %T(%R)", u"%T %Strim,full%s", u"%T%S (trimmed)%s", u"%T %G", u"100%% %T",
                                        u"%%T", u"%T%S%s", u"%T %Sa%S b%s", u"%T%S,%s"}) {
        SCOPED_TRACE(toUtf8(pattern));
        EXPECT_EQ(validateRenamePattern(pattern), std::nullopt);
    }
}

TEST(RenamePatternValidation, InvalidParameterNamesItsPosition) {
    EXPECT_EQ(validateRenamePattern(u"%T %X"), u"Invalid Parameter at pos 4 ('%X')");
    EXPECT_EQ(validateRenamePattern(u"%T %"), u"Invalid Parameter at pos 4 ('%')");
    EXPECT_EQ(validateRenamePattern(u"%t"), u"Invalid Parameter at pos 1 ('%t')");
    EXPECT_EQ(validateRenamePattern(u"%"), u"Invalid Parameter at pos 1 ('%')");
    EXPECT_EQ(validateRenamePattern(u"%T%n"), u"Invalid Parameter at pos 3 ('%n')");
    EXPECT_EQ(validateRenamePattern(u"%T %\u00E9"), u"Invalid Parameter at pos 4 ('%\u00E9')");
    // Positions count past two digits.
    EXPECT_EQ(validateRenamePattern(u"%T 3456789012%-"), u"Invalid Parameter at pos 14 ('%-')");
    // A "%%" pair is skipped whole: the third '%' starts the next parameter.
    EXPECT_EQ(validateRenamePattern(u"%T%%%X"), u"Invalid Parameter at pos 5 ('%X')");
    EXPECT_EQ(validateRenamePattern(u"%T%%%"), u"Invalid Parameter at pos 5 ('%')");
    EXPECT_EQ(validateRenamePattern(u"%T%%%%"), std::nullopt);
}

TEST(RenamePatternValidation, TrimBlockMustBeComplete) {
    const std::u16string message = u"The %S (trimmed/untrimmed) Parameter must in the form\n%Strimmed-Text[,untrimmed-Text]%s.";
    EXPECT_EQ(validateRenamePattern(u"%T %Sab"), message);
    EXPECT_EQ(validateRenamePattern(u"%T ab%s"), message);
    EXPECT_EQ(validateRenamePattern(u"%T %sab%S"), message);
    EXPECT_EQ(validateRenamePattern(u"%T %S%G%s"), message);
    // One complete block is enough, even beside a stray mark.
    EXPECT_EQ(validateRenamePattern(u"%T %Sa%s %S"), std::nullopt);
    // The pattern is checked as written: "%%S" contains "%S", and a "%%"
    // inside a block ends it early.
    EXPECT_EQ(validateRenamePattern(u"%T %%S"), message);
    EXPECT_EQ(validateRenamePattern(u"%T %S50%%,0%s"), message);
}

TEST(RenamePatternValidation, TitleIsRequired) {
    const std::u16string message = u"The Reaname-Pattern must allways contain the %T (Title) Parameter";
    EXPECT_EQ(validateRenamePattern(u"%Sa,b%s"), message);
    EXPECT_EQ(validateRenamePattern(u""), message);
    EXPECT_EQ(validateRenamePattern(u"[%N] %R %G"), message);
    EXPECT_EQ(validateRenamePattern(u"%%T"), std::nullopt);  // the text contains "%T"
}

TEST(RenamePatternValidation, FirstFailingCheckWins) {
    // Parameter names before blocks, blocks before the title.
    EXPECT_EQ(validateRenamePattern(u"%Sab %X"), u"Invalid Parameter at pos 6 ('%X')");
    EXPECT_EQ(validateRenamePattern(u"%X %T"), u"Invalid Parameter at pos 1 ('%X')");
    EXPECT_EQ(validateRenamePattern(u"%Sab"),
              u"The %S (trimmed/untrimmed) Parameter must in the form\n%Strimmed-Text[,untrimmed-Text]%s.");
}

// --- Banner titles ---------------------------------------------------------

namespace {

class RenameBannerTitles : public ::testing::Test {
protected:
    // A record loaded with its banner only, as a load leaves it before the
    // title steps.
    RomInfo load(const std::array<std::u16string, 6>& titles, bool badBanner = false) {
        RomSpec card;
        card.titles = titles;
        card.badBannerCrc = badBanner;
        image_ = buildRom(card);
        MemorySource source(image_.data(), image_.size(), u"roms/Game.nds");
        RomInfo rom;
        EXPECT_TRUE(rom.load(source, RomLoadFlags::ReadBanner));
        return rom;
    }
    // The names the step proposes for one English title.
    std::vector<std::u16string> namesFor(const std::u16string& title, std::u16string_view pattern = u"%T") {
        const RomInfo rom = load({u"", title, u"", u"", u"", u""});
        const std::set<std::u16string> names = collectRenameNames(rom, pattern);
        return {names.begin(), names.end()};
    }
    using Names = std::vector<std::u16string>;

private:
    std::vector<std::uint8_t> image_;
};

}  // namespace

TEST_F(RenameBannerTitles, FirstLineAndTheFirstTwoLinesJoined) {
    EXPECT_EQ(namesFor(u"Mario\nNintendo"), (Names{u"Mario", u"Mario - Nintendo"}));
    EXPECT_EQ(namesFor(u"Super-\nGame\nPub"), (Names{u"Super-", u"Super-Game"}));
    EXPECT_EQ(namesFor(u"Big -\nGame"), (Names{u"Big -", u"Big - Game"}));
    EXPECT_EQ(namesFor(u"Big \nGame"), (Names{u"Big ", u"Big Game"}));
    EXPECT_EQ(namesFor(u"Title\nSubtitle\nPublisher"), (Names{u"Title", u"Title - Subtitle"}));
    EXPECT_EQ(namesFor(u"Single"), (Names{u"Single"}));
    EXPECT_EQ(namesFor(u""), Names{});
}

TEST_F(RenameBannerTitles, ShortFirstLinesAlwaysGetADash) {
    // A break at position 0 or 1 is joined with " - " whatever comes before it.
    EXPECT_EQ(namesFor(u"A\nPub"), (Names{u"A", u"A - Pub"}));
    EXPECT_EQ(namesFor(u"-\nPub"), (Names{u"-", u"- - Pub"}));
    EXPECT_EQ(namesFor(u" \nPub"), (Names{u" ", u"  - Pub"}));
    // At position 2 the rules on the preceding characters apply.
    EXPECT_EQ(namesFor(u" -\nPub"), (Names{u" -", u" - Pub"}));
    EXPECT_EQ(namesFor(u"x-\nPub"), (Names{u"x-", u"x-Pub"}));
    EXPECT_EQ(namesFor(u"Go\nPub"), (Names{u"Go", u"Go - Pub"}));
    // An empty last line still gets its separator.
    EXPECT_EQ(namesFor(u"Game\n"), (Names{u"Game", u"Game - "}));
}

TEST_F(RenameBannerTitles, EmptyFirstLineAddsNoNameOfItsOwn) {
    EXPECT_EQ(namesFor(u"\nPub\nMore"), (Names{u" - Pub"}));
    EXPECT_EQ(namesFor(u"\n"), (Names{u" - "}));
}

TEST_F(RenameBannerTitles, NamesAreFormedByThePatternAndSanitized) {
    EXPECT_EQ(namesFor(u"Mario\nNintendo", u"[%N] %T (%R)"), (Names{u"[XXXX] Mario (USA)", u"[XXXX] Mario - Nintendo (USA)"}));
    // The line is cleaned before the pattern sees it, and the result again.
    EXPECT_EQ(namesFor(u"A/B\nC:D", u"%T"), (Names{u"A_B", u"A_B - C_D"}));
    EXPECT_EQ(namesFor(u"Who?\nPub", u"%T|"), (Names{u"Who_ - Pub_", u"Who__"}));
    // The untrimmed built image takes the second text of a block.
    EXPECT_EQ(namesFor(u"Game", u"%T%S (t),(u)%s"), (Names{u"Game(u)"}));
}

TEST_F(RenameBannerTitles, NamesAreUniqueAndInCodeUnitOrder) {
    RomInfo rom = load({u"Zelda\nNin", u"Mario\nNin", u"Mario\nNin", u"\u00C9lan\nPub", u"mario", u"Mario"});
    rom.recordFound = true;  // a database name that banner titles repeat
    rom.name = u"Mario";
    rom.renameNames = collectRenameNames(rom, u"%T");
    EXPECT_EQ(Names(rom.renameNames.begin(), rom.renameNames.end()),
              (Names{u"Mario", u"Mario - Nin", u"Zelda", u"Zelda - Nin", u"mario", u"\u00C9lan", u"\u00C9lan - Pub"}));
}

TEST_F(RenameBannerTitles, ShortTitlesAreTheCleanedFirstLines) {
    RomInfo rom = load({u"\u30DE\u30EA\u30AA\nNintendo", u"Mario: Go\nNintendo", u"", u"\nPub", u"Solo", u"A\nB\nC"});
    rom.shortTitles = bannerShortTitles(rom);
    EXPECT_EQ(rom.shortTitles[Japanese], u"\u30DE\u30EA\u30AA");
    EXPECT_EQ(rom.shortTitles[English], u"Mario_ Go");
    EXPECT_EQ(rom.shortTitles[French], u"");
    EXPECT_EQ(rom.shortTitles[German], u"");
    EXPECT_EQ(rom.shortTitles[Italian], u"Solo");
    EXPECT_EQ(rom.shortTitles[Spanish], u"A");
    // Short titles alone propose no names.
    EXPECT_TRUE(rom.renameNames.empty());
}

TEST_F(RenameBannerTitles, InvalidBannerGivesNothing) {
    RomInfo rom = load({u"J", u"Mario\nNintendo", u"", u"", u"", u""}, /*badBanner=*/true);
    ASSERT_FALSE(rom.bannerValid);
    rom.renameNames = collectRenameNames(rom, u"%T");
    rom.shortTitles = bannerShortTitles(rom);
    EXPECT_TRUE(rom.renameNames.empty());
    for (const auto& title : rom.shortTitles) EXPECT_EQ(title, u"");
}

// --- Title choice of the rename commands -------------------------------------

TEST(RenameTitle, FallsBackToEnglishThenJapanese) {
    RomInfo rom;
    rom.shortTitles = {u"JP", u"EN", u"FR", u"", u"IT", u""};
    EXPECT_EQ(renameTitle(rom, Japanese), u"JP");
    EXPECT_EQ(renameTitle(rom, English), u"EN");
    EXPECT_EQ(renameTitle(rom, French), u"FR");
    EXPECT_EQ(renameTitle(rom, German), u"EN");
    EXPECT_EQ(renameTitle(rom, Spanish), u"EN");

    rom.shortTitles[English].clear();
    EXPECT_EQ(renameTitle(rom, German), u"JP");
    EXPECT_EQ(renameTitle(rom, English), u"JP");

    rom.shortTitles[Japanese].clear();
    EXPECT_EQ(renameTitle(rom, German), u"");
    EXPECT_EQ(renameTitle(rom, Italian), u"IT");
}

TEST(RenameTitle, LanguageOutOfRangeCountsAsJapanese) {
    RomInfo rom;
    rom.shortTitles = {u"JP", u"EN", u"FR", u"DE", u"IT", u"ES"};
    EXPECT_EQ(renameTitle(rom, 6), u"JP");
    EXPECT_EQ(renameTitle(rom, 0xFFFFFFFFu), u"JP");
    rom.shortTitles[Japanese].clear();
    EXPECT_EQ(renameTitle(rom, 6), u"EN");
}
