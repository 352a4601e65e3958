// Feeds arbitrary bytes to the ROM reader and everything that reads a loaded
// record. Half of the inputs get valid checksums patched in, so that the
// mutations reach past the header and banner checks.
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/crc.h"
#include "core/info_tip.h"
#include "core/little_endian.h"
#include "core/rom_header.h"
#include "core/rom_info.h"

using namespace cartscope;

namespace {

void patchChecksums(std::vector<std::uint8_t>& image) {
    if (image.size() < kRomHeaderSize) return;
    const std::uint32_t banner = get32(&image[rom_header::kBannerOffset]);
    if (banner != 0 && banner <= image.size() && image.size() - banner >= 0x840)
        put16(&image[banner + 2], crc16(&image[banner + 0x20], 0x820));
    put16(&image[rom_header::kChecksum], crc16(image.data(), rom_header::kChecksum));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> image(data, data + size);
    if (size > 0 && (data[size - 1] & 1)) patchChecksums(image);

    const RomLoadFlags flags = RomLoadFlags::ReadBanner | RomLoadFlags::KeepShortTitles | RomLoadFlags::ComputeCrc32;
    MemorySource source(image.data(), image.size(), u"fuzz/input.nds");
    RomInfo rom;
    if (!rom.load(source, flags)) return 0;

    volatile std::size_t sink = formatInfoTip(rom).size();
    if (rom.bannerValid) {
        const IconPixels icon = rom.icon();
        sink = sink + icon[0] + icon[1023];
        for (int language = 0; language < kBannerLanguages; ++language) sink = sink + rom.bannerTitle(language).size();
    }
    (void)sink;
    return 0;
}
