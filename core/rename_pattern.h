// Rename patterns: the placeholders that turn a ROM record and a title into a
// new file name, their validation, and the titles and names proposed from the
// database and the banner.
//
// Pattern language (case-sensitive):
//   %N  release number ("XXXX" without a database record)
//   %T  the title given to the call
//   %R  region ("XXX" when unknown)
//   %G  release group (empty without a database record)
//   %Strimmed,untrimmed%s
//       the first text for a trimmed file, the second for an untrimmed one;
//       ",untrimmed" may be left out. The first text holds no "," or "%",
//       the second no "%".
//   %%  a single "%"
// Every other character is copied.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "core/rom_info.h"

namespace cartscope {

// One "%S...%s" block, matched exactly as the ECMAScript expression
// %S([^,%]*),?([^%]*)%s matches it. The views point into the searched text.
struct TrimBlock {
    std::size_t position = 0;       // index of the "%S"
    std::size_t length = 0;         // through the closing "%s"
    std::u16string_view trimmed;    // the text for a trimmed file (first group)
    std::u16string_view untrimmed;  // the text for an untrimmed file (second group)
};

// The leftmost block that starts at or after `from`; std::nullopt when there is none.
// Searching again from position + length gives the next non-overlapping block.
std::optional<TrimBlock> findTrimBlock(std::u16string_view text, std::size_t from = 0);

// Replaces each of \ / : * ? " < > | with '_' in place.
void sanitizeFileName(std::u16string& name);

// The new file name (no folder, no extension) that `pattern` forms for `rom`
// and `title`. An empty pattern gives an empty name.
std::u16string applyRenamePattern(const RomInfo& rom, std::u16string_view pattern, std::u16string_view title);

// std::nullopt for a pattern that may be stored, else the message to show.
std::optional<std::u16string> validateRenamePattern(std::u16string_view pattern);

// The first line of each language's banner title, made fit for a file name:
// the short titles that the rename commands go by. All empty when the banner
// is not valid.
std::array<std::u16string, kBannerLanguages> bannerShortTitles(const RomInfo& rom);

// The names "Rename to ..." offers for a ROM, as `pattern` forms them: from
// its database name when a record was found, and, from a valid banner, from
// each language's first title line and its first two lines joined (an empty
// line gives no name).
std::set<std::u16string> collectRenameNames(const RomInfo& rom, std::u16string_view pattern);

// The title the rename commands use for a banner language (0 Japanese ...
// 5 Spanish; anything else counts as 0): that language's short title, else
// the English one, else the Japanese one.
std::u16string renameTitle(const RomInfo& rom, unsigned language);

// The path the rename commands give a ROM: its folder, the name `pattern`
// forms from renameTitle, and ".nds". Empty when the ROM has no title to go by.
std::u16string bannerRenamePath(const RomInfo& rom, unsigned language, std::u16string_view pattern);

}  // namespace cartscope
