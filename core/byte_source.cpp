#include "byte_source.h"

namespace cartscope {

FileSource::FileSource(std::u16string path) : path_(std::move(path)) {
    openError_ = file_.open(path_, platform::File::Mode::Read);
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
