// The core's portable PE reader against the system's readers on real files:
// the test libraries of tests/versions, this test program, and the shipped
// binary of this build. The command line publishes what the portable reader
// reads, and the updater installs what the system reads: they must agree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/pe_file.h"
#include "core/text.h"
#include "win/module_path.h"
#include "win/pe_image.h"
#include "win/text.h"
#include "win/version_info.h"

using cartscope::PeFileInfo;
using cartscope::readPeFile;
using cartscope::win::CFileVersionInfo;

namespace {

void expectSameReading(const std::wstring& path) {
    SCOPED_TRACE(cartscope::toUtf8(cartscope::win::toUtf16(path)));
    PeFileInfo portable;
    ASSERT_EQ(readPeFile(cartscope::win::toUtf16(path), portable), "");
    EXPECT_EQ(cartscope::peMachineBits(portable.machine), cartscope::win::peMachineBits(path));
    for (const LANGID language : {0x0409, 0x0407, 0x0807, 0x040C, 0x0411, 0x0000}) {
        CFileVersionInfo system;
        const bool loaded = system.loadFromFile(path, language);
        EXPECT_EQ(portable.hasVersionResource, loaded) << std::hex << language;
        EXPECT_EQ(portable.fileVersionText(language), cartscope::win::toUtf16(system.fileVersionText())) << std::hex << language;
        if (loaded && system.fixedInfo.dwSignature == 0xFEEF04BD) {
            ASSERT_TRUE(portable.fixedFileVersion);
            const auto& numbers = *portable.fixedFileVersion;
            EXPECT_EQ(system.fixedInfo.dwFileVersionMS, std::uint32_t{numbers[0]} << 16 | numbers[1]);
            EXPECT_EQ(system.fixedInfo.dwFileVersionLS, std::uint32_t{numbers[2]} << 16 | numbers[3]);
        }
    }
}

}  // namespace

TEST(PortablePeReader, AgreesWithTheSystemOnTheTestLibraries) {
    for (const wchar_t* name : {L"two_languages.dll", L"german_only.dll", L"no_translation.dll", L"v1004.dll", L"v1005.dll",
                                L"unterminated.dll", L"empty_module.dll"})
        expectSameReading(cartscope::win::besideModule(nullptr, name));
    expectSameReading(cartscope::win::modulePath());
}

TEST(PortablePeReader, AgreesWithTheSystemOnTheShippedBinary) {
    const std::wstring path = cartscope::win::toWide(cartscope::fromUtf8(CARTSCOPE_SHIPPED_BINARY));
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << CARTSCOPE_SHIPPED_BINARY << " is not built";
    expectSameReading(path);
    PeFileInfo portable;
    ASSERT_EQ(readPeFile(cartscope::win::toUtf16(path), portable), "");
    EXPECT_FALSE(portable.fileVersionText().empty()) << "the release's version resource";
}
