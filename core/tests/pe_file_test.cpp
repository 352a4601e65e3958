// The PE reader on images from the builder: machines, version resources in
// several languages and translations, and damaged or cut files.
#include <gtest/gtest.h>

#include <functional>

#include "core/little_endian.h"
#include "core/pe_file.h"
#include "core/tests/support/pe_builder.h"
#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"
#include "core/text.h"

using namespace cartscope;
using namespace cartscope::testing;

namespace {

using Bytes = std::vector<std::uint8_t>;

PeFileInfo read(const std::vector<std::uint8_t>& bytes, std::uint16_t userLanguage = kEnglishUs, std::string* problem = nullptr) {
    MemorySource source(bytes.data(), bytes.size());
    PeFileInfo info;
    const std::string wrong = readPeFile(source, info, userLanguage);
    if (problem) *problem = wrong;
    return info;
}

constexpr std::uint32_t entry(std::uint16_t language, std::uint16_t codePage) {
    return language | static_cast<std::uint32_t>(codePage) << 16;
}

std::vector<std::uint8_t> withVersion(const VersionBlock& version, std::uint16_t machine = kPeMachineI386) {
    PeLayout layout;
    layout.machine = machine;
    layout.versions = {{kEnglishUs, buildVersionBlock(version)}};
    return buildPe(layout);
}

// Offsets inside the builder's resource section (root, name and language
// directories of one entry each, then the data entry).
constexpr std::size_t kTypeEntry = kResourceFileOffset + 16;
constexpr std::size_t kNameDirectory = kResourceFileOffset + 24;
constexpr std::size_t kNameEntry = kNameDirectory + 16;
constexpr std::size_t kLanguageEntry = kResourceFileOffset + 64;
constexpr std::size_t kDataEntry = kResourceFileOffset + 72;
constexpr std::size_t kVersionData = kResourceFileOffset + 88;
constexpr std::size_t kSectionHeader = kPeHeaderOffset + 24 + 96 + 16 * 8;

}  // namespace

TEST(PeFile, MachineAndVersionOfEachKindOfImage) {
    struct Case {
        std::uint16_t machine;
        bool pe32Plus;
        int bits;
    };
    for (const Case& c : {Case{kPeMachineI386, false, 32}, Case{kPeMachineAmd64, true, 64}, Case{0xAA64, true, 0},
                          Case{0x01C4, false, 0}, Case{kPeMachineAmd64, false, 64}}) {
        SCOPED_TRACE(c.machine);
        PeLayout layout;
        layout.machine = c.machine;
        layout.pe32Plus = c.pe32Plus;
        VersionSpec version;
        version.fixedVersion = {1, 2, 3, 4};
        version.tables = {{u"040904B0", {{u"FileVersion", u"1.2.3.4"}}}};
        version.translations = std::vector<std::uint32_t>{entry(0x0409, 1200)};
        layout.versions = {{0x0409, buildVersionBlock(versionInfo(version))}};
        std::string problem = "?";
        const PeFileInfo info = read(buildPe(layout), kEnglishUs, &problem);
        EXPECT_EQ(problem, "");
        EXPECT_EQ(info.machine, c.machine);
        EXPECT_EQ(peMachineBits(info.machine), c.bits);
        EXPECT_TRUE(info.hasVersionResource);
        EXPECT_EQ(info.fileVersionText(), u"1.2.3.4");
        ASSERT_TRUE(info.fixedFileVersion);
        EXPECT_EQ(*info.fixedFileVersion, (std::array<std::uint16_t, 4>{1, 2, 3, 4}));
    }
}

TEST(PeFile, BytesThatAreNoPeFileAreRefused) {
    const std::vector<std::uint8_t> good = buildProgram(u"1.0.0.0");
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        const char* problem;
    };
    const std::vector<Case> cases = {
        {"empty", [](Bytes& b) { b.clear(); }, "not a Windows program file (no MZ header)"},
        {"shorter than a DOS header", [](Bytes& b) { b.resize(40); }, "not a Windows program file (no MZ header)"},
        {"no MZ", [](Bytes& b) { b[1] = 'X'; }, "not a Windows program file (no MZ header)"},
        {"PE header past the end", [](Bytes& b) { put32(&b[60], 0xFFFFFFF0u); }, "not a Windows program file (no PE header)"},
        {"PE header cut", [](Bytes& b) { b.resize(kPeHeaderOffset + 10); }, "not a Windows program file (no PE header)"},
        {"no PE signature", [](Bytes& b) { b[kPeHeaderOffset + 2] = 'X'; }, "not a Windows program file (no PE header)"},
        {"ROM image", [](Bytes& b) { b = buildRom(RomSpec{}); }, "not a Windows program file (no MZ header)"},
        {"unknown optional header", [](Bytes& b) { put16(&b[kPeHeaderOffset + 24], 0x107); },
         "not a Windows program file (unknown optional header)"},
        {"no optional header", [](Bytes& b) { put16(&b[kPeHeaderOffset + 20], 0); },
         "not a Windows program file (its optional header is cut short)"},
        {"optional header shorter than its directories", [](Bytes& b) { put16(&b[kPeHeaderOffset + 20], 80); },
         "not a Windows program file (its optional header is cut short)"},
        {"optional header past the end", [](Bytes& b) { put16(&b[kPeHeaderOffset + 20], 0xFFFF); },
         "not a Windows program file (its optional header is cut short)"},
        {"section table past the end", [](Bytes& b) { put16(&b[kPeHeaderOffset + 6], 0xFFFF); },
         "not a Windows program file (its section table is cut short)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = good;
        c.damage(bytes);
        std::string problem;
        const PeFileInfo info = read(bytes, kEnglishUs, &problem);
        EXPECT_EQ(problem, c.problem);
        EXPECT_FALSE(info.hasVersionResource);
        EXPECT_EQ(info.fileVersionText(), u"");
    }
}

TEST(PeFile, MissingOrDamagedVersionResourcesAreNone) {
    const std::vector<std::uint8_t> good = buildProgram(u"1.2.3.4");
    ASSERT_EQ(read(good).fileVersionText(), u"1.2.3.4");
    const std::size_t size = good.size();
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
    };
    const std::vector<Case> cases = {
        {"no resource section", [](Bytes& b) { b = buildPe(PeLayout{}); }},
        {"no resource directory", [](Bytes& b) { put32(&b[kPeHeaderOffset + 24 + 96 + 16], 0); }},
        {"too few data directories", [](Bytes& b) { put32(&b[kPeHeaderOffset + 24 + 92], 2); }},
        {"resources without a version",
         [](Bytes& b) {
             PeLayout layout;
             b = buildPe(layout);
         }},
        {"another resource type", [](Bytes& b) { put32(&b[kTypeEntry], 3); }},
        {"a version resource of another ID", [](Bytes& b) { put32(&b[kNameEntry], 2); }},
        {"a named version resource", [](Bytes& b) { put32(&b[kNameEntry], 0x80000000u | 8); }},
        {"the type is no directory", [](Bytes& b) { put32(&b[kTypeEntry + 4], 24); }},
        {"the language entry is a directory", [](Bytes& b) { b[kLanguageEntry + 7] |= 0x80; }},
        {"directories that point at the root",
         [](Bytes& b) {
             put16(&b[kResourceFileOffset + 14], 3);  // root: IDs 16, 1 and the language 0x409, all the root again
             put32(&b[kTypeEntry + 4], 0x80000000u);
             put32(&b[kTypeEntry + 8], 1);
             put32(&b[kTypeEntry + 12], 0x80000000u);
             put32(&b[kTypeEntry + 16], 0x409);
             put32(&b[kTypeEntry + 20], 0x80000000u);
         }},
        {"a directory of 65535 entries", [](Bytes& b) { put16(&b[kNameDirectory + 14], 0xFFFF); }},
        {"a subdirectory past the section", [](Bytes& b) { put32(&b[kTypeEntry + 4], 0x80000000u | 0x7FFFFFF0u); }},
        {"data below the section", [](Bytes& b) { put32(&b[kDataEntry], kResourceRva - 8); }},
        {"data past the section", [size](Bytes& b) { put32(&b[kDataEntry], kResourceRva + static_cast<std::uint32_t>(size)); }},
        {"data that runs past the section into bytes after it",
         [](Bytes& b) {
             put32(&b[kDataEntry + 4], get32(&b[kDataEntry + 4]) + 8);
             b.resize(b.size() + 64, 0);
         }},
        {"data at the top of the address space", [](Bytes& b) { put32(&b[kDataEntry], 0xFFFFFFF0u); }},
        {"a section shorter in memory", [](Bytes& b) { put32(&b[kSectionHeader + 8], 40); }},
        {"a section whose data lies past the end", [](Bytes& b) { put32(&b[kSectionHeader + 20], 0x7FFFFFFFu); }},
        {"a section at another address", [](Bytes& b) { put32(&b[kSectionHeader + 12], 0xFFFFFF00u); }},
        {"a root block longer than the resource", [](Bytes& b) { put16(&b[kVersionData], 0xFFF0); }},
        {"a root block shorter than its header", [](Bytes& b) { put16(&b[kVersionData], 4); }},
        {"a root block without the end of its key", [](Bytes& b) { put16(&b[kVersionData], 20); }},
        {"another root key", [](Bytes& b) { b[kVersionData + 6] = 'W'; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = good;
        c.damage(bytes);
        std::string problem = "?";
        const PeFileInfo info = read(bytes, kEnglishUs, &problem);
        EXPECT_EQ(problem, "");
        EXPECT_EQ(info.machine, kPeMachineI386);
        EXPECT_FALSE(info.hasVersionResource);
        EXPECT_EQ(info.fileVersionText(), u"");
    }
}

TEST(PeFile, ACutFileHasNoVersion) {
    const std::vector<std::uint8_t> good = buildProgram(u"1.2.3.4");
    for (std::size_t length = 0; length + 4 <= good.size(); ++length) {
        SCOPED_TRACE(length);
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        const PeFileInfo info = read(cut);
        EXPECT_FALSE(info.hasVersionResource);
    }
}

TEST(PeFile, TheResourceLanguageTheLoaderWouldPick) {
    const auto version = [](const std::u16string& text) { return buildVersionBlock(versionInfo(text)); };
    struct Case {
        std::vector<std::uint16_t> languages;  // each resource's version names its language
        std::uint16_t user;
        const char16_t* expected;
    };
    const std::vector<Case> cases = {
        {{0x0407, 0x0409}, 0x0407, u"0407"},         {{0x0407, 0x0409}, 0x0409, u"0409"},
        {{0x0407, 0x0409}, 0x040C, u"0409"},          // English when the user's language is missing
        {{0x0409, 0x0407, 0x0000}, 0x0407, u"0000"},  // neutral first
        {{0x0411, 0x0407}, 0x0807, u"0407"},          // Swiss German: German (default sublanguage)
        {{0x0411, 0x0007}, 0x0807, u"0007"},          // the primary language alone
        {{0x0411, 0x0410}, 0x040C, u"0411"},          // none: the first
    };
    for (const Case& c : cases) {
        PeLayout layout;
        for (std::uint16_t language : c.languages) {
            char16_t text[5];
            for (int i = 0; i < 4; ++i) text[i] = u"0123456789ABCDEF"[(language >> (12 - 4 * i)) & 0xF];
            text[4] = 0;
            layout.versions.emplace_back(language, version(text));
        }
        EXPECT_EQ(read(buildPe(layout), c.user).fileVersionText(c.user), c.expected) << "user " << std::hex << c.user;
    }
}

TEST(PeFile, TheStringTableOfTheUsersTranslation) {
    VersionSpec twoLanguages;
    twoLanguages.tables = {{u"040904B0", {{u"CompanyName", u"Example Company"}, {u"FileVersion", u"1.0.0.5"}}},
                           {u"040704E4", {{u"CompanyName", u"Beispielfirma"}, {u"FileVersion", u"1, 0, 0, 5"}}}};
    twoLanguages.translations = std::vector<std::uint32_t>{entry(0x0409, 1200), entry(0x0407, 1252)};
    const PeFileInfo info = read(withVersion(versionInfo(twoLanguages)));
    EXPECT_EQ(info.fileVersions, (std::vector<std::u16string>{u"1.0.0.5", u"1, 0, 0, 5"}));
    EXPECT_EQ(info.fileVersionText(0x0407), u"1, 0, 0, 5") << "as stored, not normalised";
    EXPECT_EQ(info.fileVersionText(0x0807), u"1, 0, 0, 5") << "by the primary language";
    EXPECT_EQ(info.fileVersionText(0x040C), u"1.0.0.5") << "English for anyone else";

    struct Case {
        const char* what;
        VersionSpec layout;
        std::vector<std::u16string> versions;  // for each translation
    };
    const auto layout = [](std::vector<VersionTable> tables, std::optional<std::vector<std::uint32_t>> translations) {
        VersionSpec s;
        s.tables = std::move(tables);
        s.translations = std::move(translations);
        return s;
    };
    const std::vector<std::uint32_t> english = {entry(0x0409, 1200)};
    const std::vector<Case> cases = {
        {"no translation list", layout({{u"040904B0", {{u"FileVersion", u"3.0.0.0"}}}}, std::nullopt), {}},
        {"an empty translation list", layout({{u"040904B0", {{u"FileVersion", u"3.0.0.0"}}}}, std::vector<std::uint32_t>{}), {}},
        {"keys in any case", layout({{u"040904b0", {{u"fileversion", u"4.0.0.0"}}}}, english), {u"4.0.0.0"}},
        {"a translation without its table", layout({{u"040704E4", {{u"FileVersion", u"5.0.0.0"}}}}, english), {u""}},
        {"a table without the string", layout({{u"040904B0", {{u"ProductVersion", u"5.0.0.0"}}}}, english), {u""}},
        {"the first of two tables of one key",
         layout({{u"040904B0", {{u"Comments", u"first"}}}, {u"040904B0", {{u"FileVersion", u"6.0.0.0"}}}}, english),
         {u""}},
        {"the first of two strings",
         layout({{u"040904B0", {{u"FileVersion", u"7.0"}, {u"FileVersion", u"8.0"}}}}, english),
         {u"7.0"}},
        {"a string up to its first zero",
         layout({{u"040904B0", {{u"FileVersion", std::u16string(u"9.0\0.1", 6)}}}}, english),
         {u"9.0"}},
        {"a key that is longer", layout({{u"040904B0", {{u"FileVersionX", u"1.0"}}}}, english), {u""}},
        {"a table key that is longer", layout({{u"040904B0X", {{u"FileVersion", u"1.0"}}}}, english), {u""}},
        {"three translations",
         layout({{u"041104B0", {{u"FileVersion", u"a"}}}, {u"040904B0", {{u"FileVersion", u"b"}}}},
                std::vector<std::uint32_t>{entry(0x0409, 1200), entry(0x0407, 1252), entry(0x0411, 1200)}),
         {u"b", u"", u"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PeFileInfo got = read(withVersion(versionInfo(c.layout)));
        EXPECT_TRUE(got.hasVersionResource);
        EXPECT_EQ(got.fileVersions, c.versions);
        EXPECT_EQ(got.fileVersionText(), c.versions.empty() ? u"" : c.versions[0]);
    }
}

TEST(PeFile, DamagedVersionBlocks) {
    // A string whose stored length ends before its text does.
    VersionBlock unterminated = versionInfo(u"1.0.0.59");
    unterminated.children[0].children[0].children[1].valueLength = 7;
    // A string longer than the block around it.
    VersionBlock overlong = versionInfo(u"1.0.0.5");
    overlong.children[0].children[0].children[1].valueLength = 0x7FFF;
    // A string table that claims more than its parent holds.
    VersionBlock escaping = versionInfo(u"1.0.0.5");
    escaping.children[0].children[0].length = 0x4000;
    // A translation list that says it is longer than it is.
    VersionBlock longList = versionInfo(u"1.0.0.5");
    longList.children[1].children[0].valueLength = 0x100;
    // A first child of zero length ends the search.
    VersionBlock empty = versionInfo(u"1.0.0.5");
    empty.children[0].children[0].children.insert(empty.children[0].children[0].children.begin(),
                                                  versionString(u"Comments", u"x"));
    empty.children[0].children[0].children[0].length = 0;
    // A fixed block of another size.
    VersionBlock shortFixed = versionInfo(u"1.0.0.5");
    shortFixed.value.resize(48);

    struct Case {
        const char* what;
        const VersionBlock& block;
        const char16_t* text;
        bool fixed;
    };
    for (const Case& c : {Case{"unterminated", unterminated, u"1.0.0.5", true}, Case{"overlong", overlong, u"1.0.0.5", true},
                          Case{"escaping", escaping, u"", true}, Case{"long list", longList, u"1.0.0.5", true},
                          Case{"zero length", empty, u"", true}, Case{"short fixed", shortFixed, u"1.0.0.5", false}}) {
        SCOPED_TRACE(c.what);
        const PeFileInfo info = read(withVersion(c.block));
        EXPECT_TRUE(info.hasVersionResource);
        EXPECT_EQ(info.fileVersionText(), c.text);
        EXPECT_EQ(info.fixedFileVersion.has_value(), c.fixed);
    }
}

TEST(PeFile, ReadFromAFile) {
    TempDir dir;
    writeFile(dir.path() / "lib.dll", buildLibrary(u"2.1.0.7"));
    PeFileInfo info;
    EXPECT_EQ(readPeFile(dir.file("lib.dll"), info), "");
    EXPECT_EQ(info.machine, kPeMachineAmd64);
    EXPECT_EQ(info.fileVersionText(), u"2.1.0.7");
    EXPECT_EQ(readPeFile(dir.file("missing.dll"), info), "cannot be opened");
    EXPECT_EQ(info.machine, 0);
}

TEST(FindVersionTranslation, UserLanguageThenPrimaryThenNeutralThenEnglish) {
    struct Case {
        std::vector<std::uint32_t> list;
        std::uint16_t user;
        int expected;
    };
    const std::vector<std::uint32_t> englishGerman = {entry(0x0409, 1200), entry(0x0407, 1252)};
    const std::vector<Case> cases = {
        {englishGerman, 0x0407, 1},
        {englishGerman, 0x040C, 0},
        {englishGerman, 0x0807, 1},
        {{entry(0x040C, 1252), entry(0x0000, 1200), entry(0x0809, 1200)}, 0x0411, 1},
        {{entry(0x040C, 1252), entry(0x0809, 1200)}, 0x0411, 1},
        {{entry(0x040C, 1252), entry(0x0410, 1252)}, 0x0411, 0},
        {{entry(0x0410, 1252), entry(0x0407, 1252), entry(0x0407, 1200)}, 0x0407, 1},
        {{}, 0x0409, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(findVersionTranslation(c.list, c.user), c.expected) << std::hex << c.user;
}

TEST(ReadVersionNumbers, FourNumbersAsTheUpdaterReadsThem) {
    using Numbers = std::array<std::uint16_t, 4>;
    struct Case {
        const char16_t* text;
        std::optional<Numbers> expected;
    };
    const std::vector<Case> cases = {
        {u"1.2.0.3", Numbers{1, 2, 0, 3}},
        {u"1, 2, 0, 3", Numbers{1, 2, 0, 3}},
        {u" 10.0.65535.+4 beta", Numbers{10, 0, 65535, 4}},
        {u"2.0.0.0 deutsch", Numbers{2, 0, 0, 0}},
        {u"007.1.1.1", Numbers{7, 1, 1, 1}},
        {u"1.2.3", std::nullopt},
        {u"1.2.3.", std::nullopt},
        {u"1..2.3.4", std::nullopt},
        {u"1.2.3.65536", std::nullopt},
        {u"1.2.3.99999999999999999999", std::nullopt},
        {u"1.2.-3.4", std::nullopt},
        {u"v1.2.3.4", std::nullopt},
        {u"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readVersionNumbers(c.text), c.expected) << toUtf8(c.text);
    }
    EXPECT_EQ(versionNumbersText({1, 20, 0, 65535}), "1.20.0.65535");
}
