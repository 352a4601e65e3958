#include "core/rom_header.h"

#include "core/crc.h"
#include "core/little_endian.h"

namespace cartscope {

std::string RomHeader::gameCode() const {
    return std::string(bytes_->begin() + rom_header::kGameCode, bytes_->begin() + rom_header::kGameCode + 4);
}

std::string RomHeader::makerCode() const {
    return std::string(bytes_->begin() + rom_header::kMakerCode, bytes_->begin() + rom_header::kMakerCode + 2);
}

std::uint32_t RomHeader::bannerOffset() const { return get32(&(*bytes_)[rom_header::kBannerOffset]); }

std::uint32_t RomHeader::usedSize() const { return get32(&(*bytes_)[rom_header::kUsedSize]); }

bool RomHeader::checksumMatches() const {
    return crc16(bytes_->data(), rom_header::kChecksum) == get16(&(*bytes_)[rom_header::kChecksum]);
}

void setUsedSize(RomHeaderBytes& bytes, std::uint32_t size) { put32(&bytes[rom_header::kUsedSize], size); }

}  // namespace cartscope
