// The release list readers and their merge, on small lists of invented games.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/list_import.h"

using namespace cartscope;
using namespace cartscope::cli;
namespace field = cartscope::release_field;

namespace {

// A release from its code and its fields in file order.
Release release(const std::string& code, std::array<std::string, kReleaseFields> fields) {
    Release r;
    r.gameCode = code;
    r.fields = std::move(fields);
    r.hasCrc = !r.fields[field::kCrc32].empty();
    return r;
}

ReleaseList read(const std::string& text) {
    ReleaseList list;
    const auto failure = readReleaseList(text, list);
    EXPECT_FALSE(failure) << failure->line << ": " << failure->what;
    return list;
}

const char* const kLogiqx = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management Datafile//EN" "http://www.logiqx.com/Dats/datafile.dtd">
<datafile>
	<header>
		<name>Invented - Handheld</name>
		<description>Invented games, for tests</description>
	</header>
	<game name="Quill &amp; Quasar (Europe) (En,Fr,De)">
		<description>Quill &amp; Quasar (Europe) (En,Fr,De)</description>
		<rom name="Quill &amp; Quasar (Europe) (En,Fr,De).txt" size="12" crc="11111111"/>
		<rom name="Quill &amp; Quasar (Europe) (En,Fr,De).nds" size="1048576" crc="0badf00d" serial="NTR-QQXP-EUR"/>
	</game>
	<game name="Zebra Zone (Japan)">
		<description><![CDATA[Zebra <Zone> &amp; ゼブラ (Japan)]]></description>
		<rom name="Zebra Zone (Japan).nds" size="1" crc="ABC"/>
		<serial>ZZZJ</serial>
	</game>
	<machine name="Moss Mill (USA, Europe)">
		<description>Moss Mill (USA, Europe) (Rev 1)</description>
		<manufacturer>Velmora</manufacturer>
		<genre>Puzzle</genre>
		<game_id>TWL-MMLE</game_id>
		<rom name="Moss Mill.nds" size="2" crc="not hex"/>
	</machine>
	<game name="Codeless (USA)">
		<description>Codeless (USA)</description>
		<rom name="Codeless (USA).nds" size="1" crc="00000001"/>
	</game>
	<game name="Zebra Zone (Japan) (Rev 1)">
		<rom name="Zebra Zone (Japan) (Rev 1).nds" size="1" crc="00000002" serial="NTR-ZZZJ-JPN"/>
	</game>
	<game name="Odd Code (Germany)">
		<rom name="Odd Code (Germany).nds" size="1" serial="NTR-AB-GER"/>
	</game>
	<game name="Only Attribute (Germany) [b]">
		<rom name="Only Attribute (Germany) [b].nds" size="1" serial="OAAD"/>
	</game>
</datafile>
)xml";

const char* const kOfflineList = R"xml(<?xml version="1.0"?>
<dat xsi:schemaLocation="datas.xsd" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
	<configuration>
		<datName>Invented handheld games</datName>
		<datVersion>12</datVersion>
	</configuration>
	<games>
		<game>
			<imageNumber>1</imageNumber>
			<releaseNumber>7</releaseNumber>
			<title>Quill and Quasar</title>
			<saveType>Eeprom - 4 kbit</saveType>
			<romSize>1048576</romSize>
			<publisher>Velmora &amp; Sons</publisher>
			<location>0</location>
			<sourceRom>Tidepool</sourceRom>
			<language>67</language>
			<files><romCRC extension=".sav">99999999</romCRC><romCRC extension=".nds">CAFEBABE</romCRC></files>
			<im1CRC>01234567</im1CRC>
			<im2CRC>89ABCDEF</im2CRC>
			<comment>an invented game</comment>
			<duplicateID>0</duplicateID>
			<serial>NTR-QQXP-EUR</serial>
		</game>
		<game>
			<releaseNumber>12345</releaseNumber>
			<title>Гора Game</title>
			<location>7</location>
			<language>256</language>
			<serial>GORJ</serial>
			<genre>Action</genre>
			<wifi>1-4 players</wifi>
		</game>
		<game>
			<title>No serial here</title>
			<location>1</location>
		</game>
		<game>
			<title>Unknown place</title>
			<location>99</location>
			<language>many</language>
			<serial>UNKE</serial>
			<files><romCRC extension=".nds"></romCRC></files>
		</game>
	</games>
	<gui><images><image x="0" y="0"/></images></gui>
</dat>
)xml";

}  // namespace

TEST(ListImport, SerialsGiveGameCodes) {
    struct Case {
        const char* serial;
        const char* code;
        bool valid;
    };
    const Case cases[] = {
        {"NTR-ABCE-USA", "ABCE", true},
        {"ABCE", "ABCE", true},
        {" TWL-KMLJ-JPN\n", "KMLJ", true},
        {"TWL-KMLJ", "KMLJ", true},
        {"NTR-ABCE-USA, NTR-ABCP-EUR", "ABCE", true},
        {"", "", false},
        {"  ", "", false},
        {"NTR-AB-USA", "NTR-AB-USA", false},
        {"AB!E", "AB!E", false},
        {"ABCDE", "ABCDE", false},
        {"NTR-ABÇE-USA", "NTR-ABÇE-USA", false},
    };
    for (const Case& c : cases) {
        bool valid = !c.valid;
        EXPECT_EQ(gameCodeOfSerial(c.serial, valid), c.code) << c.serial;
        EXPECT_EQ(valid, c.valid) << c.serial;
    }
}

TEST(ListImport, NameTagsGiveTitleCountryAndLanguages) {
    struct Case {
        const char* name;
        const char* title;
        const char* country;
        const char* languages;
    };
    const Case cases[] = {
        {"Quill (Europe) (En,Fr,De)", "Quill", "Europe", "13"},
        {"Quill (USA, Europe)", "Quill", "USA, Europe", ""},
        {"Quill (Japan) [b]", "Quill", "Japan", ""},
        {"Quill (Germany) (Rev 1)", "Quill", "Germany", ""},
        {"Quill (En,Ja,Ko,Zh)", "Quill", "", "786435"},
        {"Quill (Demo)", "Quill", "", ""},
        {"Quill (Europe) (Sv,En-GB)", "Quill", "Europe", "4097"},
        {"Plain Title", "Plain Title", "", ""},
        {"Tag (Inside) Title", "Tag (Inside) Title", "", ""},
        {"Unbalanced)", "Unbalanced)", "", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        const NameTags tags = splitNameTags(c.name);
        EXPECT_EQ(tags.title, c.title) << c.name;
        EXPECT_EQ(tags.country, c.country) << c.name;
        EXPECT_EQ(tags.languages, c.languages) << c.name;
    }
}

TEST(ListImport, OfflineListLocationsAndLanguages) {
    const std::pair<const char*, const char*> locations[] = {
        {"0", "Europe"}, {"1", "USA"}, {"2", "Germany"}, {"7", "Japan"}, {" 22 ", "Korea"}, {"99", ""}, {"", ""}, {"x", ""},
    };
    for (const auto& [code, country] : locations) EXPECT_EQ(offlineListCountry(code), country) << code;
    const std::pair<const char*, const char*> languages[] = {
        {"2", "1"},      // English
        {"1", "4"},      // French
        {"67", "13"},    // French, English, German
        {"256", "2"},    // Japanese
        {"16384", "1"},  // English (US) is English
        {"65536", "524288"}, {"0", "0"}, {"", ""}, {"-1", ""}, {"1e3", ""}, {"99999999999", ""},
    };
    for (const auto& [mask, expected] : languages) EXPECT_EQ(offlineListLanguages(mask), expected) << mask;
}

TEST(ListImport, TextBecomesLatin1WithQuestionMarks) {
    struct Case {
        std::string utf8;
        std::string latin1;
        std::size_t replaced;
    };
    const Case cases[] = {
        {"Plain", "Plain", 0},
        {"Caf\xC3\xA9 \xC3\x9F", "Caf\xE9 \xDF", 0},
        {"\xE3\x82\xBC\xE3\x83\x96\xE3\x83\xA9!", "\?\?\?!", 3},
        {"\xF0\x9F\x98\x80 one", "? one", 1},  // outside the BMP: one character
        {"\xE2\x82\xAC", "?", 1},
        {"bad \xFF byte", "bad ? byte", 1},
        {std::string("nul\0here", 8), "nul?here", 1},
    };
    for (const Case& c : cases) {
        std::size_t replaced = 0;
        EXPECT_EQ(toLatin1(c.utf8, replaced), c.latin1) << c.utf8;
        EXPECT_EQ(replaced, c.replaced) << c.utf8;
    }
}

TEST(ListImport, LogiqxEntriesAndTheirFields) {
    const ReleaseList list = read(kLogiqx);
    EXPECT_EQ(list.kind, ListKind::Logiqx);
    const std::vector<Release> expected = {
        release("QQXP", {"NTR-QQXP-EUR", "Quill & Quasar", "Europe", "", "", "13", "", "", "", "0BADF00D"}),
        release("ZZZJ", {"", "Zebra <Zone> &amp; ???", "Japan", "", "", "", "", "", "", "00000ABC"}),
        release("MMLE", {"TWL-MMLE", "Moss Mill", "USA, Europe", "Puzzle", "Velmora", "", "", "", "", ""}),
        release("OAAD", {"", "Only Attribute", "Germany", "", "", "", "", "", "", ""}),
    };
    EXPECT_EQ(list.releases, expected);
    EXPECT_EQ(list.counts.read, 7u);
    EXPECT_EQ(list.counts.withoutCode, 1u);
    EXPECT_EQ(list.counts.badCode, 1u);
    EXPECT_EQ(list.counts.repeated, 1u);
    EXPECT_EQ(list.counts.replaced, 3u);
    ASSERT_EQ(list.problems.size(), 3u);
    EXPECT_EQ(list.problems[0].line, 25u);
    EXPECT_EQ(list.problems[0].what, "no game code; skipped");
    EXPECT_EQ(list.problems[1].line, 29u);
    EXPECT_EQ(list.problems[1].what, "game code ZZZJ listed again; the first entry is kept");
    EXPECT_EQ(list.problems[2].line, 32u);
}

TEST(ListImport, OfflineListEntriesAndTheirFields) {
    const ReleaseList list = read(kOfflineList);
    EXPECT_EQ(list.kind, ListKind::OfflineList);
    const std::vector<Release> expected = {
        release("QQXP",
                {"NTR-QQXP-EUR", "Quill and Quasar", "Europe", "", "Velmora & Sons", "13", "", "0007", "Tidepool", "CAFEBABE"}),
        release("GORJ", {"", "???? Game", "Japan", "Action", "", "2", "1-4 players", "12345", "", ""}),
        release("UNKE", {"", "Unknown place", "", "", "", "", "", "", "", ""}),
    };
    EXPECT_EQ(list.releases, expected);
    EXPECT_EQ(list.counts.read, 4u);
    EXPECT_EQ(list.counts.withoutCode, 1u);
    EXPECT_EQ(list.counts.replaced, 4u);
}

TEST(ListImport, TheKindIsToldByTheContent) {
    struct Case {
        std::string text;
        ListKind kind;
        std::size_t releases;
    };
    const std::string tsv =
        "game code\tROM code\tname\tcountry\tgenre\tpublisher\tlanguage mask\tWiFi\trelease number\trelease group\tCRC-32\n"
        "AAAE\tNTR-AAAE-USA\tCaf\xC3\xA9 \xE2\x82\xAC\tUSA\tPuzzle\tVelmora\t9\tNo\t0001\tGRP\t0BADF00D\n"
        "short\tline\n"
        "AAAE\tagain\t\t\t\t\t\t\t\t\t\n"
        "\tno code\t\t\t\t\t\t\t\t\t\n"
        "AAAAE\ttoo long\t\t\t\t\t\t\t\t\t\n";
    const Case cases[] = {
        {kLogiqx, ListKind::Logiqx, 4},           {std::string("\xEF\xBB\xBF") + kOfflineList, ListKind::OfflineList, 3},
        {"\n\t<datafile/>", ListKind::Logiqx, 0}, {"<dat><games/></dat>", ListKind::OfflineList, 0},
        {tsv, ListKind::ReleaseTsv, 1},           {"\xEF\xBB\xBF" + tsv, ListKind::ReleaseTsv, 1},
    };
    for (const Case& c : cases) {
        const ReleaseList list = read(c.text);
        EXPECT_EQ(list.kind, c.kind) << c.text.substr(0, 40);
        EXPECT_EQ(list.releases.size(), c.releases) << c.text.substr(0, 40);
    }
    // A list that declares another encoding is read in it.
    const ReleaseList latin1 = read(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
        "<dat><games><game><serial>CAFE</serial><title>Caf\xE9</title></game></games></dat>");
    ASSERT_EQ(latin1.releases.size(), 1u);
    EXPECT_EQ(latin1.releases[0].fields[field::kName], "Caf\xE9");
    EXPECT_EQ(latin1.counts.replaced, 0u);

    const ReleaseList list = read(tsv);
    EXPECT_EQ(list.releases[0],
              release("AAAE", {"NTR-AAAE-USA", "Caf\xE9 ?", "USA", "Puzzle", "Velmora", "9", "No", "0001", "GRP", "0BADF00D"}));
    EXPECT_EQ(list.counts.read, 5u);
    EXPECT_EQ(list.counts.badLine, 1u);
    EXPECT_EQ(list.counts.repeated, 1u);
    EXPECT_EQ(list.counts.withoutCode, 1u);
    EXPECT_EQ(list.counts.badCode, 1u);
    EXPECT_EQ(list.counts.replaced, 1u);
    ASSERT_EQ(list.problems.size(), 4u);
    EXPECT_EQ(list.problems[0].line, 3u);
    EXPECT_EQ(list.problems[0].what, "2 columns, expected 11; skipped");
}

TEST(ListImport, UnreadableListsSayWhereAndWhy) {
    const std::string logiqx = kLogiqx;
    struct Case {
        std::string text;
        std::size_t line;
        const char* what;
    };
    const Case cases[] = {
        {logiqx.substr(0, logiqx.find("<game name=\"Codeless")), 25, "no element found"},
        {logiqx.substr(0, logiqx.find("USA, Europe")), 18, "unclosed token"},
        {"<datafile>\n<game name=\"x\">\n</datafile>", 3, "mismatched tag"},
        {"<datafile><game name=\"a & b\"/></datafile>", 1, "not well-formed (invalid token)"},
        {"<datafile></datafile><more/>", 1, "junk after document element"},
        {"<datafile>\xFF</datafile>", 1, "not well-formed (invalid token)"},
        {"<html><body/></html>", 1, "not a release list: the root element is <html>, not <datafile> or <dat>"},
        {"", 0, "not a release list: neither XML (a Logiqx or OfflineList dat) nor a tab-separated list with our header"},
        {"name\tcode\n", 0,
         "not a release list: neither XML (a Logiqx or OfflineList dat) nor a tab-separated list with our header"},
    };
    for (const Case& c : cases) {
        ReleaseList list;
        const auto failure = readReleaseList(c.text, list);
        ASSERT_TRUE(failure) << c.text;
        EXPECT_EQ(failure->line, c.line) << c.text;
        EXPECT_EQ(failure->what, c.what) << c.text;
    }
    // The readers of one kind refuse the other.
    ReleaseList list;
    EXPECT_TRUE(readLogiqxList(kOfflineList, list));
    EXPECT_TRUE(readOfflineList(kLogiqx, list));
    EXPECT_FALSE(readLogiqxList(kLogiqx, list));
}

TEST(ListImport, EarlierListsWinFieldByFieldInEitherOrder) {
    const ReleaseList logiqx = read(kLogiqx), offline = read(kOfflineList);
    struct Case {
        const ReleaseList* first;
        const ReleaseList* second;
        Release quill;
    };
    const Case cases[] = {
        {&logiqx, &offline,
         release("QQXP",
                 {"NTR-QQXP-EUR", "Quill & Quasar", "Europe", "", "Velmora & Sons", "13", "", "0007", "Tidepool", "0BADF00D"})},
        {&offline, &logiqx,
         release("QQXP",
                 {"NTR-QQXP-EUR", "Quill and Quasar", "Europe", "", "Velmora & Sons", "13", "", "0007", "Tidepool", "CAFEBABE"})},
    };
    for (const Case& c : cases) {
        ReleaseMerge merge;
        merge.add(*c.first);
        merge.add(*c.second);
        EXPECT_EQ(merge.merged(), 1u);
        ASSERT_EQ(merge.releases().size(), 6u);
        EXPECT_EQ(merge.releases()[0], c.quill);
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(buildDatabase(1, merge.releases(), bytes), "");
    }
    // A gap in every list stays a gap; a CRC given later makes the record carry it.
    ReleaseList a, b;
    a.releases = {release("AAAE", {"", "A", "", "", "", "", "", "", "", ""})};
    b.releases = {release("AAAE", {"NTR-AAAE", "B", "", "", "", "", "", "", "", "12345678"})};
    ReleaseMerge merge;
    merge.add(a);
    merge.add(b);
    EXPECT_EQ(merge.releases().at(0), release("AAAE", {"NTR-AAAE", "A", "", "", "", "", "", "", "", "12345678"}));
    EXPECT_TRUE(merge.releases().at(0).hasCrc);
}

TEST(ListImport, RecordsStayWithinWhatTheDatabaseHolds) {
    // An entry with more text than a record holds is skipped; a merge leaves
    // a gap rather than make a record too long.
    const std::string big(kMaxRecordText - 40, 'x');
    const std::string list = "<dat><games><game><serial>BIGE</serial><title>" + big + "</title><publisher>" +
                             std::string(40, 'p') + "</publisher></game><game><serial>FITE</serial><title>" + big +
                             "</title></game></games></dat>";
    const ReleaseList read1 = read(list);
    EXPECT_EQ(read1.counts.tooLong, 1u);
    ASSERT_EQ(read1.releases.size(), 1u);
    ReleaseList later;
    later.releases = {release("FITE", {"NTR-FITE-USA", "", "", "", std::string(40, 'p'), "", "", "", "", "12345678"})};
    ReleaseMerge merge;
    merge.add(read1);
    merge.add(later);
    const Release& merged = merge.releases().at(0);
    EXPECT_EQ(merged.fields[field::kRomCode], "NTR-FITE-USA");
    EXPECT_EQ(merged.fields[field::kPublisher], "") << "the publisher would not fit";
    EXPECT_EQ(merged.fields[field::kCrc32], "12345678");
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(buildDatabase(1, merge.releases(), bytes), "");
}

TEST(ListImport, EntitiesAndCharacterReferences) {
    // Entities of the list's own DTD and character references are expanded;
    // an external entity is never fetched, and so gives nothing.
    struct Case {
        const char* publisher;
        const char* expected;
        std::size_t replaced;
    };
    const Case cases[] = {
        {"&lt;Velmora&gt; &quot;&apos;", "<Velmora> \"'", 0},
        {"&maker;", "Velmora \xE9", 0},
        {"&#233;&#xE9;&#x263A;", "\xE9\xE9?", 1},
        {"&outside;", "", 0},
        {"<![CDATA[&maker; <b>]]>", "&maker; <b>", 0},
    };
    for (const Case& c : cases) {
        const std::string text = std::string(
                                     "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile [\n"
                                     "<!ENTITY maker \"Velmora &#233;\">\n"
                                     "<!ENTITY outside SYSTEM \"file:///etc/hostname\">\n]>\n"
                                     "<datafile><game name=\"G\"><publisher>") +
                                 c.publisher + "</publisher><serial>GGGE</serial></game></datafile>";
        const ReleaseList list = read(text);
        ASSERT_EQ(list.releases.size(), 1u) << c.publisher;
        EXPECT_EQ(list.releases[0].fields[field::kPublisher], c.expected) << c.publisher;
        EXPECT_EQ(list.counts.replaced, c.replaced) << c.publisher;
    }
    // An entity that is not declared is an error of the list.
    ReleaseList list;
    const auto failure = readReleaseList("<datafile>\n<game name=\"&nowhere;\"/></datafile>", list);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->line, 2u);
    EXPECT_EQ(failure->what, "undefined entity");
}
