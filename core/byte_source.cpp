#include "core/byte_source.h"

#include <algorithm>
#include <cstring>

namespace cartscope {

FileSource::FileSource(std::u16string path) : path_(std::move(path)) {
    openError_ = file_.open(path_, platform::File::Mode::Read);
}

bool FileSource::seek(std::uint64_t offset) {
    position_ = offset;
    return file_.isOpen();
}

bool FileSource::identify(platform::FileIdentity& identity) {
    if (const auto& opened = file_.identityAtOpen()) {
        identity = *opened;
        return true;
    }
    return file_.identify(identity) == 0;
}

bool FileSource::seekEnd(std::uint64_t& size) {
    if (const auto& opened = file_.identityAtOpen()) {
        size = opened->size;
    } else if (file_.seekEnd(size) != 0) {
        return false;
    }
    position_ = size;
    return true;
}

std::size_t FileSource::read(void* buffer, std::size_t count) {
    const std::size_t got = file_.readAt(position_, buffer, count);
    position_ += got;
    return got;
}

bool MemorySource::seek(std::uint64_t offset) {
    position_ = offset;
    return true;
}

bool MemorySource::seekEnd(std::uint64_t& size) {
    size = position_ = size_;
    return true;
}

std::size_t MemorySource::read(void* buffer, std::size_t count) {
    if (position_ >= size_) return 0;
    const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(size_ - position_));
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

bool readFully(ByteSource& source, void* buffer, std::size_t count) {
    auto p = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const std::size_t got = source.read(p, count);
        if (got == 0) return false;
        p += got;
        count -= got;
    }
    return true;
}

}  // namespace cartscope
