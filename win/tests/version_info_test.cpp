// Version resources read from small libraries built with them
// (tests/versions/*.rc), and the choice of string table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/module_path.h"
#include "win/version_info.h"

using cartscope::win::CFileVersionInfo;
using cartscope::win::findTranslation;
using cartscope::win::stringTablePrefix;

namespace {

std::wstring besideThisProgram(const std::wstring& name) { return cartscope::win::besideModule(nullptr, name); }

constexpr std::uint32_t entry(WORD language, WORD codePage) { return language | static_cast<std::uint32_t>(codePage) << 16; }

}  // namespace

TEST(FindTranslation, UserLanguageThenPrimaryThenNeutralThenEnglish) {
    const std::vector<std::uint32_t> englishGerman = {entry(0x0409, 1200), entry(0x0407, 1252)};
    EXPECT_EQ(findTranslation(englishGerman, 0x0407), 1) << "German user";
    EXPECT_EQ(findTranslation(englishGerman, 0x040C), 0) << "French user: English";
    EXPECT_EQ(findTranslation(englishGerman, 0x0807), 1) << "Swiss German user: German by its primary language";
    EXPECT_EQ(findTranslation({entry(0x0407, 1252)}, 0x0807), 0);

    const std::vector<std::uint32_t> frenchNeutralEnglish = {entry(0x040C, 1252), entry(0x0000, 1200), entry(0x0809, 1200)};
    EXPECT_EQ(findTranslation(frenchNeutralEnglish, 0x0411), 1) << "neutral comes before English";
    EXPECT_EQ(findTranslation({entry(0x040C, 1252), entry(0x0809, 1200)}, 0x0411), 1) << "English by its primary language";
    EXPECT_EQ(findTranslation({entry(0x040C, 1252), entry(0x0410, 1252)}, 0x0411), 0) << "none: the first";
    EXPECT_EQ(findTranslation({entry(0x0410, 1252), entry(0x0407, 1252), entry(0x0407, 1200)}, 0x0407), 1)
        << "the first exact one";
    EXPECT_EQ(findTranslation({}, 0x0409), -1);
}

TEST(StringTablePrefix, FourUpperCaseDigitsEach) {
    EXPECT_EQ(stringTablePrefix(0x0409, 0x04B0), L"\\StringFileInfo\\040904B0\\");
    EXPECT_EQ(stringTablePrefix(0x0000, 0xFDE9), L"\\StringFileInfo\\0000FDE9\\");
}

TEST(VersionResource, StringsOfTheBestTableAndTheFixedBlock) {
    const std::wstring library = besideThisProgram(L"two_languages.dll");
    CFileVersionInfo info;
    ASSERT_TRUE(info.loadFromFile(library, 0x0407));
    EXPECT_EQ(info.strings[CFileVersionInfo::CompanyName], L"Beispielfirma");
    EXPECT_EQ(info.fileVersionText(), L"1, 0, 0, 5") << "as stored, not normalised";
    EXPECT_EQ(info.strings[CFileVersionInfo::SpecialBuild], L"") << "a key missing from the German table";
    EXPECT_EQ(info.fixedInfo.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.fixedInfo.dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(info.fixedInfo.dwFileVersionLS, 0x00030004u);
    EXPECT_EQ(info.fixedInfo.dwProductVersionLS, 0x00070008u);

    ASSERT_TRUE(info.loadFromFile(library, 0x040C));
    EXPECT_EQ(info.strings[CFileVersionInfo::CompanyName], L"Example Company");
    EXPECT_EQ(info.fileVersionText(), L"1.0.0.5");
    EXPECT_EQ(info.strings[CFileVersionInfo::SpecialBuild], L"last key");

    ASSERT_TRUE(info.loadFromFile(besideThisProgram(L"german_only.dll"), 0x0807));
    EXPECT_EQ(info.fileVersionText(), L"2.0.0.0 deutsch");
    EXPECT_EQ(info.strings[CFileVersionInfo::CompanyName], L"") << "nothing left from the last file";
}

TEST(VersionResource, WithoutATranslationListOnlyTheFixedBlock) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.loadFromFile(besideThisProgram(L"no_translation.dll"), 0x0409));
    EXPECT_EQ(info.fixedInfo.dwFileVersionMS, 0x00030000u);
    for (const std::wstring& s : info.strings) EXPECT_EQ(s, L"");
}

TEST(VersionResource, NoFileOrNoResourceLeavesEverythingEmpty) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.loadFromFile(besideThisProgram(L"two_languages.dll")));
    EXPECT_FALSE(info.fileVersionText().empty()) << "read with the user's own language";
    EXPECT_FALSE(info.loadFromFile(besideThisProgram(L"no_such_file.dll")));
    EXPECT_EQ(info.fileVersionText(), L"");
    EXPECT_EQ(info.fixedInfo.dwSignature, 0u);

    ASSERT_TRUE(info.loadFromFile(besideThisProgram(L"two_languages.dll")));
    EXPECT_FALSE(info.loadFromProgram()) << "this test program carries no version resource";
    EXPECT_EQ(info.fileVersionText(), L"");
    EXPECT_EQ(info.fixedInfo.dwFileVersionMS, 0u);
}

TEST(VersionResource, StringsEndAtTheLengthTheSystemReports) {
    // The entry says seven characters; the text stored goes on without a zero.
    CFileVersionInfo info;
    ASSERT_TRUE(info.loadFromFile(besideThisProgram(L"unterminated.dll"), 0x0409));
    EXPECT_EQ(info.fixedInfo.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.fileVersionText(), L"1.0.0.5");
}
