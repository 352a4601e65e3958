// Trimming and untrimming ROM files in place.
#pragma once

#include <string>

#include "core/rom_info.h"

namespace cartscope {

// Error numbers of our own, above every errno value of the runtimes.
enum RomEditError : int {
    // The part of the file that trimming would cut holds data, not padding.
    TrimWouldCutData = 0x4000,
};

// When the file is opened: the shell opens it only when there is something to
// do; the command program opens it first, so that a file it cannot write is
// reported even when nothing is to be done.
enum class OpenOrder { TestFirst, OpenFirst };

enum class EditStatus { Done, AlreadyTrimmed };

// Cuts the file to `trimmedSize`. Nothing is cut unless every byte beyond
// `trimmedSize` is padding (all 0xFF or all 0x00); then TrimWouldCutData.
// A file that is not longer than `trimmedSize` is never changed (a trim
// never lengthens): it gives AlreadyTrimmed. With TestFirst a file shorter
// than its card is left alone without being opened.
// Returns 0 or an errno value (or TrimWouldCutData).
int trimRom(const RomInfo& rom, OpenOrder order = OpenOrder::TestFirst, EditStatus* status = nullptr);

// Pads the file with 0xFF bytes, at most 512 at a time, up to `capacity`.
// A file that is not shorter than `capacity` is left as it is.
int untrimRom(const RomInfo& rom, OpenOrder order = OpenOrder::TestFirst);

// The message for an error of trimRom or untrimRom.
std::u16string editErrorText(int error);

}  // namespace cartscope
