#include "shellext/stream_source.h"

#include <algorithm>

#include "win/text.h"

namespace cartscope::shell {

StreamSource::StreamSource(IStream* stream) : stream_(stream) {
    STATSTG stat = {};
    if (!stream_ || FAILED(stream_->Stat(&stat, STATFLAG_DEFAULT))) return;
    if (stat.pwcsName) {
        name_ = win::utf16Chars(stat.pwcsName);
        CoTaskMemFree(stat.pwcsName);
    }
    ok_ = true;
}

bool StreamSource::seek(std::uint64_t offset) {
    LARGE_INTEGER move;
    move.QuadPart = static_cast<LONGLONG>(offset);
    return SUCCEEDED(stream_->Seek(move, STREAM_SEEK_SET, nullptr));
}

bool StreamSource::seekEnd(std::uint64_t& size) {
    LARGE_INTEGER move = {};
    ULARGE_INTEGER end = {};
    if (FAILED(stream_->Seek(move, STREAM_SEEK_END, &end))) return false;
    size = end.QuadPart;
    return true;
}

std::size_t StreamSource::read(void* buffer, std::size_t count) {
    ULONG got = 0;
    const ULONG want = static_cast<ULONG>(std::min<std::size_t>(count, 0x40000000u));
    const HRESULT result = stream_->Read(buffer, want, &got);
    return (result == S_OK || result == S_FALSE) ? got : 0;
}

}  // namespace cartscope::shell
