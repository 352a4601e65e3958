// The machine a program or library file was built for, read from its header.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"
#include "win/module_path.h"
#include "win/pe_image.h"

using cartscope::win::peMachineBits;
namespace fs = std::filesystem;

namespace {

std::wstring besideThisProgram(const std::wstring& name) { return cartscope::win::besideModule(nullptr, name); }

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) { cartscope::testing::writeFile(path, bytes); }

}  // namespace

TEST(PeMachineBits, ReadsTheFileHeader) {
    cartscope::testing::TempDir dir;
    const auto pe = [&](unsigned machine) {
        std::vector<std::uint8_t> bytes(128, 0);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[60] = 64;
        bytes[64] = 'P';
        bytes[65] = 'E';
        bytes[68] = static_cast<std::uint8_t>(machine);
        bytes[69] = static_cast<std::uint8_t>(machine >> 8);
        const fs::path path = dir.path() / ("pe" + std::to_string(machine));
        writeBytes(path, bytes);
        return path.wstring();
    };
    EXPECT_EQ(peMachineBits(pe(0x8664)), 64);
    EXPECT_EQ(peMachineBits(pe(0x014C)), 32);
    EXPECT_EQ(peMachineBits(pe(0xAA64)), 0);
    EXPECT_EQ(peMachineBits(besideThisProgram(L"v1004.dll")), 32);
    EXPECT_EQ(peMachineBits((dir.path() / "missing").wstring()), 0);
    writeBytes(dir.path() / "short", std::vector<std::uint8_t>(30, 0));
    EXPECT_EQ(peMachineBits((dir.path() / "short").wstring()), 0);
}
