// The release database nds-rom.dat: known releases keyed by game code.
//
// Layout (little-endian): a header of file length (4 bytes), version (2) and
// N (2) that is also index slot 0; then N - 1 more 8-byte slots (key, record
// offset) in ascending signed order of their keys, the key being the game code
// with its first character in the top byte; records anywhere after, each a
// 2-byte length L (counting itself) and NUL-terminated 8-bit text fields.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cartscope {

class ByteSource;

inline constexpr char16_t kDatabaseFileName[] = u"nds-rom.dat";
inline constexpr std::size_t kReleaseFields = 10;
inline constexpr std::size_t kMaxRecordText = 32767;  // L - 2 stays below 32768
inline constexpr std::size_t kMaxReleases = 65534;    // N - 1 index slots

// One release: its game code and the text fields in file order: ROM code,
// name, country, genre, publisher, language mask, WiFi, release number,
// release group and, optionally, the CRC-32 of a clean dump.
struct Release {
    std::string gameCode;  // 4 bytes
    std::array<std::string, kReleaseFields> fields;
    bool hasCrc = false;  // whether the record carries the tenth field

    bool operator==(const Release& other) const {
        return gameCode == other.gameCode && fields == other.fields && hasCrc == other.hasCrc;
    }
};

// Where each text field lies in Release::fields.
namespace release_field {
inline constexpr std::size_t kRomCode = 0;
inline constexpr std::size_t kName = 1;
inline constexpr std::size_t kCountry = 2;
inline constexpr std::size_t kGenre = 3;
inline constexpr std::size_t kPublisher = 4;
inline constexpr std::size_t kLanguageMask = 5;  // decimal digits
inline constexpr std::size_t kWifi = 6;
inline constexpr std::size_t kReleaseNumber = 7;
inline constexpr std::size_t kReleaseGroup = 8;
inline constexpr std::size_t kCrc32 = 9;  // only when hasCrc
}  // namespace release_field

// The index key of a game code.
std::int32_t releaseKey(std::string_view gameCode);

// "eng,ger" for the set bits 0 to 19 of a language mask.
std::u16string languageList(std::uint32_t mask);

// Where this process looks for the database: the data folder's nds-rom.dat,
// unless a file was named with useDatabaseFile. nullopt without a data folder.
std::optional<std::u16string> databasePath();
// Names the database file for this process (an empty name: the default again).
void useDatabaseFile(std::u16string path);

// The release of a game code in this process's database (databasePath()),
// found through the index that the process keeps of that file. nullopt
// without a data folder, when the database cannot be opened, when the code
// is not listed or when its record is damaged.
std::optional<Release> lookUpRelease(std::string_view gameCode);

// The version of a database file, or 0 when it cannot be read or its stored
// length is not its real length. A name that is not a full path is taken in
// the data folder.
std::uint16_t databaseVersion(const std::u16string& name, bool isFullPath);

// The release of one game code in a database file; nullopt when the file
// cannot be read, the code is not listed or its record is damaged.
std::optional<Release> findRelease(const std::u16string& path, std::string_view gameCode);

// Every release of a database file, in index order. Gives an empty string or
// what is wrong with the file.
std::string readReleases(const std::u16string& path, std::vector<Release>& releases, std::uint16_t& version);
// The same for a database already open (no database lock is taken).
std::string readReleases(ByteSource& file, std::vector<Release>& releases, std::uint16_t& version);

// Builds a database file's bytes. Gives an empty string or what the format
// cannot hold (a game code that is not 4 bytes, a duplicate game code, a
// field with a NUL byte, a record of 32768 bytes or more, more than 65534
// releases).
std::string buildDatabase(std::uint16_t version, std::vector<Release> releases, std::vector<std::uint8_t>& bytes);

}  // namespace cartscope
