#include "core/rom_edit.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/text.h"

namespace cartscope {

namespace {

using platform::File;

// Padding is written and checked in large pieces: one system call per
// megabyte, not per sector.
constexpr std::size_t kPadPiece = 1024 * 1024;
constexpr std::size_t kScanPiece = 1024 * 1024;

// Whether all `count` bytes are `fill`: compared a block at a time against a
// block of that value (memcmp runs at memory speed), so the check ends at the
// first block that holds anything else.
bool allBytesAre(const unsigned char* bytes, std::size_t count, unsigned char fill) {
    static constexpr std::size_t kBlock = 4096;
    unsigned char pattern[kBlock];
    std::memset(pattern, fill, sizeof pattern);
    while (count > 0) {
        const std::size_t n = std::min(count, kBlock);
        if (std::memcmp(bytes, pattern, n) != 0) return false;
        bytes += n;
        count -= n;
    }
    return true;
}

// Whether every byte from `from` to the end of the file is padding: all 0xFF,
// or all 0x00. Gives 0 or an errno value; `padding` tells the answer.
int tailIsPadding(File& file, std::uint64_t from, bool& padding) {
    std::uint64_t end = 0;
    if (int error = file.seekEnd(end)) return error;
    padding = true;
    if (end <= from) return 0;
    if (int error = file.seek(from)) return error;
    std::uint64_t left = end - from;
    const platform::ReadBuffer piece(static_cast<std::size_t>(std::min<std::uint64_t>(left, kScanPiece)));
    int fill = -1;  // the padding value, fixed by the first byte
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
        const std::size_t got = file.read(piece.data(), want);
        if (got == 0) return file.lastError() ? file.lastError() : EIO;
        if (fill < 0) {
            fill = piece.data()[0];
            if (fill != 0x00 && fill != 0xFF) {
                padding = false;
                return 0;
            }
        }
        if (!allBytesAre(piece.data(), got, static_cast<unsigned char>(fill))) {
            padding = false;
            return 0;
        }
        left -= got;
    }
    return 0;
}

// Opens the file, sets its length and closes it again. Each failure gives
// its errno value; a close that fails after a change still counts.
int cutTo(File& file, std::uint64_t length) {
    bool padding = false;
    if (int error = tailIsPadding(file, length, padding)) return error;
    if (!padding) return TrimWouldCutData;
    return file.resize(length);
}

int finish(File& file, int error) {
    const int closeError = file.close();
    return error != 0 ? error : closeError;
}

}  // namespace

int trimRom(const RomInfo& rom, OpenOrder order, EditStatus* status) {
    if (status) *status = EditStatus::Done;
    if (order == OpenOrder::TestFirst && rom.isTrimmed()) return 0;

    File file;
    if (int error = file.open(rom.path, File::Mode::ReadWrite)) return error;
    // A trim only ever cuts: a file that is not longer than its trimmed size
    // (homebrew that ends at its used size, a used size within 512 bytes of
    // the card, a header that claims more than the file holds) stays as it is.
    std::uint64_t length = 0;
    if (int error = file.seekEnd(length)) return finish(file, error);
    if (length <= rom.trimmedSize) {
        if (status) *status = EditStatus::AlreadyTrimmed;
        return finish(file, 0);
    }
    return finish(file, cutTo(file, rom.trimmedSize));
}

int untrimRom(const RomInfo& rom, OpenOrder order) {
    if (order == OpenOrder::TestFirst && rom.fileSize >= rom.capacity) return 0;

    File file;
    if (int error = file.open(rom.path, File::Mode::ReadWrite)) return error;
    if (rom.fileSize == rom.capacity) return finish(file, 0);

    std::uint64_t length = 0;
    if (int error = file.seekEnd(length)) return finish(file, error);
    if (length >= rom.capacity) return finish(file, 0);
    const std::vector<unsigned char> pad(static_cast<std::size_t>(std::min<std::uint64_t>(rom.capacity - length, kPadPiece)),
                                         0xFF);
    while (length < rom.capacity) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(rom.capacity - length, pad.size()));
        if (int error = file.write(pad.data(), piece)) return finish(file, error);
        length += piece;
    }
    return finish(file, 0);
}

std::u16string editErrorText(int error) {
    if (error == TrimWouldCutData) return u"data after the used area; not trimmed";
    if (error == platform::kNotRegularFile) return u"not a regular file";
    return widen(std::strerror(error));
}

}  // namespace cartscope
