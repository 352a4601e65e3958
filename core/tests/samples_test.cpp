#include <gtest/gtest.h>

#include <cstdlib>

#include "core/tests/support/rom_builder.h"
#include "core/rom_info.h"
#include "core/tests/support/samples.h"

using namespace cartscope;

// The bundled samples are exactly what the builder makes, so they can be
// made again at any time (make_samples) and stay valid ROM images.
TEST(Samples, BundledFilesMatchTheBuilderAndLoad) {
    const char* source = std::getenv("CARTSCOPE_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "CARTSCOPE_SOURCE_DIR is not set";
    const auto folder = std::filesystem::path(source) / "samples";
    for (const auto& sample : cartscope::testing::sampleRoms()) {
        SCOPED_TRACE(sample.fileName);
        const auto path = folder / sample.fileName;
        EXPECT_EQ(cartscope::testing::readFile(path), cartscope::testing::buildRom(sample.card))
            << "run make_samples to refresh samples/";
        RomInfo rom;
        ASSERT_TRUE(rom.load(path.u16string(), RomLoadFlags::ReadBanner));
        EXPECT_TRUE(rom.bannerValid);
        EXPECT_FALSE(rom.bannerTitle(English).empty());
    }
}
