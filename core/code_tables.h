// Constant code tables used to turn raw codes into readable text:
//  - maker codes (two ASCII characters of the ROM header, see rom_header.h)
//    to the publisher's name,
//  - the region letter (the game code's fourth character) to a three-letter
//    region name,
//  - bit numbers of the release database's language mask to three-letter
//    language codes.
//
// All tables are built into the program; nothing here reads a file or keeps
// mutable state, so every function may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cartscope {

// One row of the maker table. The key is exactly two characters and is not
// NUL-terminated. Names are kept byte for byte as listed, question marks,
// trailing blank and embedded tab included.
struct MakerRow {
    char key[2];
    const char16_t* name;
};

// One row of the region table: a single region letter and its name.
struct RegionRow {
    char key;
    const char16_t* name;
};

constexpr std::size_t kMakerCount = 365;
constexpr std::size_t kRegionCount = 11;
constexpr unsigned kLanguageCount = 20;

// The tables in table order. `count` receives the number of rows.
const MakerRow* makerTable(std::size_t& count);
const RegionRow* regionTable(std::size_t& count);

// Publisher name for the two maker-code bytes of the header, or nullptr when
// no row has that key. The match is exact: "0a" does not find "0A".
// Rows are scanned first to last and the first match wins.
const char16_t* makerName(std::uint8_t first, std::uint8_t second);

// Region name ("JPN", "USA", ...) for a region letter, or nullptr when the
// letter is not in the table.
const char16_t* regionName(std::uint8_t letter);

// Three-letter language code for bit 0..kLanguageCount-1 of a language mask
// ("eng" for bit 0, ..., "kor" for bit 19); nullptr for any other bit.
const char* languageCode(unsigned bit);

}  // namespace cartscope
