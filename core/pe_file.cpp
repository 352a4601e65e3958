#include "core/pe_file.h"

#include <algorithm>
#include <map>

#include "core/little_endian.h"

namespace cartscope {

namespace {

constexpr std::uint16_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr std::uint16_t kVersionResourceId = 1;     // VS_VERSION_INFO
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kMaxVersionResource = 0x10000;  // the root block's length is 16 bits
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t kFixedInfoSize = 52;

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t span = 0;  // bytes of the section that come from the file
    std::uint32_t fileOffset = 0;
};

// The image's sections and reads by relative virtual address.
class Image {
public:
    Image(ByteSource& source, std::uint64_t size) : source_(source), size_(size) {}

    bool fits(std::uint64_t offset, std::uint64_t count) const { return offset <= size_ && count <= size_ - offset; }

    bool readAt(std::uint64_t offset, void* buffer, std::size_t count) {
        return fits(offset, count) && source_.seek(offset) && readFully(source_, buffer, count);
    }

    void addSection(const std::uint8_t* header) {
        Section section;
        const std::uint32_t virtualSize = get32(header + 8);
        section.virtualAddress = get32(header + 12);
        const std::uint32_t rawSize = get32(header + 16);
        section.fileOffset = get32(header + 20);
        // Bytes past the raw data are zeros in memory; past the virtual size
        // they are not part of the section at all.
        section.span = virtualSize == 0 ? rawSize : std::min(virtualSize, rawSize);
        sections_.push_back(section);
    }

    // Where `count` bytes at `rva` lie in the file, all of them inside one
    // section's data; nullopt when they do not.
    std::optional<std::uint64_t> fileOffset(std::uint32_t rva, std::uint64_t count) const {
        for (const Section& section : sections_) {
            if (rva < section.virtualAddress) continue;
            const std::uint64_t inside = rva - section.virtualAddress;
            if (inside >= section.span || count > section.span - inside) continue;
            const std::uint64_t offset = section.fileOffset + inside;
            if (!fits(offset, count)) return std::nullopt;
            return offset;
        }
        return std::nullopt;
    }

    bool readRva(std::uint32_t rva, void* buffer, std::size_t count) {
        const auto offset = fileOffset(rva, count);
        return offset && readAt(*offset, buffer, count);
    }

private:
    ByteSource& source_;
    std::uint64_t size_;
    std::vector<Section> sections_;
};

constexpr std::uint32_t kHighBit = 0x80000000u;

struct DirectoryEntry {
    std::uint16_t id = 0;
    std::uint32_t target = 0;  // offset in the resource section, kHighBit set for a directory
};

// The entries of the resource directory at `offset` that have numeric IDs
// (named entries can be neither RT_VERSION nor VS_VERSION_INFO).
bool readDirectory(Image& image, std::uint32_t base, std::uint32_t offset, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    std::uint8_t header[16];
    if (offset > UINT32_MAX - base || !image.readRva(base + offset, header, sizeof header)) return false;
    const std::size_t count = std::size_t{get16(header + 12)} + get16(header + 14);
    const std::uint64_t first = std::uint64_t{base} + offset + sizeof header;
    // Nothing is allocated for entries that are not there.
    if (count == 0) return true;
    if (first + count * 8 > UINT32_MAX || !image.fileOffset(static_cast<std::uint32_t>(first), count * 8)) return false;
    std::vector<std::uint8_t> raw(count * 8);
    if (!image.readRva(static_cast<std::uint32_t>(first), raw.data(), raw.size())) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t name = get32(&raw[i * 8]);
        if (name & kHighBit) continue;
        entries.push_back({static_cast<std::uint16_t>(name), get32(&raw[i * 8 + 4])});
    }
    return true;
}

const DirectoryEntry* findEntry(const std::vector<DirectoryEntry>& entries, std::uint16_t id) {
    for (const DirectoryEntry& entry : entries)
        if (entry.id == id) return &entry;
    return nullptr;
}

// The language of a resource stored in several, in the order the system
// loader tries them: neutral, the user's language, its primary language
// with the neutral and the default sublanguage, English (US), then the first.
const DirectoryEntry* chooseLanguage(const std::vector<DirectoryEntry>& entries, std::uint16_t userLanguage) {
    const std::uint16_t primary = userLanguage & 0x3FF;
    for (const std::uint16_t language :
         {std::uint16_t{0}, userLanguage, primary, static_cast<std::uint16_t>(primary | 0x400), kEnglishUs})
        if (const DirectoryEntry* entry = findEntry(entries, language)) return entry;
    return entries.empty() ? nullptr : &entries.front();
}

// The raw bytes of the version resource; empty when there is none or it
// cannot be read whole.
std::vector<std::uint8_t> versionResource(Image& image, std::uint32_t base, std::uint16_t userLanguage) {
    std::vector<DirectoryEntry> entries;
    if (!readDirectory(image, base, 0, entries)) return {};
    const DirectoryEntry* type = findEntry(entries, kResourceTypeVersion);
    if (!type || !(type->target & kHighBit)) return {};
    if (!readDirectory(image, base, type->target & ~kHighBit, entries)) return {};
    const DirectoryEntry* name = findEntry(entries, kVersionResourceId);
    if (!name || !(name->target & kHighBit)) return {};
    if (!readDirectory(image, base, name->target & ~kHighBit, entries)) return {};
    const DirectoryEntry* language = chooseLanguage(entries, userLanguage);
    if (!language || (language->target & kHighBit)) return {};

    std::uint8_t data[16];
    if (language->target > UINT32_MAX - base || !image.readRva(base + language->target, data, sizeof data)) return {};
    const std::size_t size = std::min<std::size_t>(get32(data + 4), kMaxVersionResource);
    if (!image.fileOffset(get32(data), size)) return {};
    std::vector<std::uint8_t> bytes(size);
    if (!image.readRva(get32(data), bytes.data(), bytes.size())) return {};
    return bytes;
}

std::size_t align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// One block of the version resource: a length, a value length and type, a
// zero-terminated key, the value and the child blocks, each part starting
// on a 4-byte boundary of the resource.
struct Block {
    std::size_t end = 0;
    std::u16string_view key;
    std::size_t valueStart = 0;
    std::size_t valueLength = 0;  // as stored: characters of a text, bytes of binary data
    std::size_t valueBytes = 0;   // what of the value lies inside the block
    std::size_t childrenStart = 0;
};

class VersionBlocks {
public:
    explicit VersionBlocks(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {
        keys_.resize(bytes.size() / 2);
        for (std::size_t i = 0; i < keys_.size(); ++i) keys_[i] = get16(&bytes[2 * i]);
    }

    // The block at `at`, which must end by `limit`.
    bool read(std::size_t at, std::size_t limit, Block& block) const {
        if (at % 2 != 0 || limit > bytes_.size() || at >= limit || limit - at < 6) return false;
        const std::size_t length = get16(&bytes_[at]);
        if (length < 6 || length > limit - at) return false;
        block.end = at + length;
        const std::size_t keyStart = (at + 6) / 2;
        std::size_t keyEnd = keyStart;
        while (keyEnd < block.end / 2 && keys_[keyEnd] != 0) ++keyEnd;
        if (keyEnd >= block.end / 2) return false;
        block.key = std::u16string_view(keys_.data() + keyStart, keyEnd - keyStart);
        block.valueLength = get16(&bytes_[at + 2]);
        const bool text = get16(&bytes_[at + 4]) != 0;
        const std::size_t stored = block.valueLength * (text ? 2 : 1);
        block.valueStart = align4(2 * keyEnd + 2);
        block.valueBytes = block.valueStart >= block.end ? 0 : std::min(stored, block.end - block.valueStart);
        block.childrenStart = align4(block.valueStart + stored);
        return true;
    }

    // Calls `visit` with each child of `parent` in order, until it returns false.
    template <class Visit>
    void children(const Block& parent, Visit visit) const {
        Block child;
        for (std::size_t at = parent.childrenStart; at < parent.end; at = align4(child.end)) {
            if (!read(at, parent.end, child) || !visit(child)) return;
        }
    }

    // The first child whose key is `key`, ignoring the case of ASCII letters.
    bool find(const Block& parent, std::u16string_view key, Block& found) const {
        bool matched = false;
        children(parent, [&](const Block& child) {
            matched = sameKey(child.key, key);
            if (matched) found = child;
            return !matched;
        });
        return matched;
    }

    // A text value up to its stored length or its first zero.
    std::u16string text(const Block& block) const {
        const std::size_t first = block.valueStart / 2;
        std::size_t count = std::min(block.valueLength, block.valueBytes / 2);
        const auto end = std::find(keys_.begin() + static_cast<std::ptrdiff_t>(first),
                                   keys_.begin() + static_cast<std::ptrdiff_t>(first + count), u'\0');
        return std::u16string(keys_.begin() + static_cast<std::ptrdiff_t>(first), end);
    }

    const std::uint8_t* value(const Block& block) const { return bytes_.data() + block.valueStart; }

    static char16_t fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

    static bool sameKey(std::u16string_view a, std::u16string_view b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return fold(x) == fold(y); });
    }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::u16string keys_;  // the resource as UTF-16 units
};

std::u16string tableKey(std::uint32_t translation) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    // The language first, then the code page: LLLLCCCC.
    const std::uint32_t ordered = (translation & 0xFFFF) << 16 | translation >> 16;
    std::u16string key(8, u'0');
    for (int i = 0; i < 8; ++i) key[static_cast<std::size_t>(7 - i)] = digits[(ordered >> (4 * i)) & 0xF];
    return key;
}

void readVersionBlocks(const std::vector<std::uint8_t>& bytes, PeFileInfo& info) {
    const VersionBlocks blocks(bytes);
    Block root;
    if (!blocks.read(0, bytes.size(), root) || root.key != u"VS_VERSION_INFO") return;
    info.hasVersionResource = true;

    if (root.valueLength == kFixedInfoSize && root.valueBytes == kFixedInfoSize &&
        get32(blocks.value(root)) == kFixedInfoSignature) {
        const std::uint8_t* fixed = blocks.value(root);
        info.fixedFileVersion =
            std::array<std::uint16_t, 4>{get16(fixed + 10), get16(fixed + 8), get16(fixed + 14), get16(fixed + 12)};
    }

    Block variables, list;
    if (blocks.find(root, u"VarFileInfo", variables) && blocks.find(variables, u"Translation", list)) {
        const std::size_t count = std::min(list.valueLength, list.valueBytes) / 4;
        for (std::size_t i = 0; i < count; ++i) info.translations.push_back(get32(blocks.value(list) + 4 * i));
    }

    // One pass over the string tables: the first table of each key counts,
    // and in it the first FileVersion string, as a lookup by path finds them.
    std::map<std::u16string, std::u16string> versions;
    Block strings;
    if (blocks.find(root, u"StringFileInfo", strings)) {
        blocks.children(strings, [&](const Block& table) {
            if (table.key.size() != 8) return true;
            std::u16string key(table.key);
            std::transform(key.begin(), key.end(), key.begin(), VersionBlocks::fold);
            if (versions.count(key) != 0) return true;
            Block version;
            versions[key] = blocks.find(table, u"FileVersion", version) ? blocks.text(version) : std::u16string();
            return true;
        });
    }
    info.fileVersions.reserve(info.translations.size());
    for (const std::uint32_t translation : info.translations) {
        const auto found = versions.find(tableKey(translation));
        info.fileVersions.push_back(found == versions.end() ? std::u16string() : found->second);
    }
}

}  // namespace

std::u16string PeFileInfo::fileVersionText(std::uint16_t userLanguage) const {
    const int chosen = findVersionTranslation(translations, userLanguage);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= fileVersions.size()) return {};
    return fileVersions[static_cast<std::size_t>(chosen)];
}

int peMachineBits(std::uint16_t machine) { return machine == kPeMachineI386 ? 32 : machine == kPeMachineAmd64 ? 64 : 0; }

std::string readPeFile(ByteSource& source, PeFileInfo& info, std::uint16_t userLanguage) {
    info = PeFileInfo();
    std::uint64_t size = 0;
    if (!source.seekEnd(size)) return "cannot be read";
    Image image(source, size);

    std::uint8_t dos[kDosHeaderSize];
    if (!image.readAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return "not a Windows program file (no MZ header)";
    const std::uint32_t peOffset = get32(dos + 60);
    std::uint8_t pe[4 + kFileHeaderSize];
    if (!image.readAt(peOffset, pe, sizeof pe) || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
        return "not a Windows program file (no PE header)";
    info.machine = get16(pe + 4);
    const std::size_t sectionCount = get16(pe + 6);
    const std::size_t optionalSize = get16(pe + 20);

    // The optional header's resource directory entry (the third data directory).
    const std::uint64_t optionalOffset = std::uint64_t{peOffset} + sizeof pe;
    if (optionalSize < 2 || !image.fits(optionalOffset, optionalSize))
        return "not a Windows program file (its optional header is cut short)";
    std::vector<std::uint8_t> optional(optionalSize);
    if (!image.readAt(optionalOffset, optional.data(), optional.size()))
        return "not a Windows program file (its optional header is cut short)";
    std::size_t directories = 0;
    switch (get16(optional.data())) {
        case 0x10B:  // PE32
            directories = 92;
            break;
        case 0x20B:  // PE32+
            directories = 108;
            break;
        default:
            return "not a Windows program file (unknown optional header)";
    }
    if (directories + 4 > optionalSize) return "not a Windows program file (its optional header is cut short)";
    const std::uint32_t directoryCount = get32(&optional[directories]);
    const std::size_t resourceEntry = directories + 4 + 2 * 8;
    std::uint32_t resourceRva = 0;
    if (directoryCount > 2 && resourceEntry + 8 <= optionalSize) resourceRva = get32(&optional[resourceEntry]);

    if (!image.fits(optionalOffset + optionalSize, sectionCount * kSectionHeaderSize))
        return "not a Windows program file (its section table is cut short)";
    std::vector<std::uint8_t> table(sectionCount * kSectionHeaderSize);
    if (!image.readAt(optionalOffset + optionalSize, table.data(), table.size()))
        return "not a Windows program file (its section table is cut short)";
    for (std::size_t i = 0; i < sectionCount; ++i) image.addSection(&table[i * kSectionHeaderSize]);

    if (resourceRva != 0) {
        const std::vector<std::uint8_t> resource = versionResource(image, resourceRva, userLanguage);
        if (!resource.empty()) readVersionBlocks(resource, info);
    }
    return {};
}

std::string readPeFile(const std::u16string& path, PeFileInfo& info, std::uint16_t userLanguage) {
    FileSource file(path);
    if (!file.isOpen()) {
        info = PeFileInfo();
        return "cannot be opened";
    }
    return readPeFile(file, info, userLanguage);
}

int findVersionTranslation(const std::vector<std::uint32_t>& translations, std::uint16_t userLanguage) {
    const auto exactly = [&](std::uint16_t language) -> int {
        for (std::size_t i = 0; i < translations.size(); ++i)
            if ((translations[i] & 0xFFFF) == language) return static_cast<int>(i);
        return -1;
    };
    const auto primary = [&](std::uint16_t language) -> int {
        for (std::size_t i = 0; i < translations.size(); ++i)
            if ((translations[i] & 0xFF) == (language & 0xFF)) return static_cast<int>(i);
        return -1;
    };
    if (translations.empty()) return -1;
    for (const std::uint16_t language : {userLanguage, std::uint16_t{0}, std::uint16_t{9}}) {
        if (const int found = exactly(language); found >= 0) return found;
        if (const int found = primary(language); found >= 0) return found;
    }
    return 0;
}

std::optional<std::array<std::uint16_t, 4>> readVersionNumbers(std::u16string_view text) {
    std::array<std::uint16_t, 4> numbers{};
    std::size_t i = 0;
    for (std::size_t part = 0; part < numbers.size(); ++part) {
        if (part > 0) {
            if (i >= text.size()) return std::nullopt;
            ++i;  // the separator
        }
        while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
        if (i < text.size() && text[i] == u'+') ++i;
        const std::size_t digits = i;
        std::uint32_t number = 0;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
            number = number * 10 + (text[i] - u'0');
            if (number > 0xFFFF) return std::nullopt;
            ++i;
        }
        if (i == digits) return std::nullopt;
        numbers[part] = static_cast<std::uint16_t>(number);
    }
    return numbers;
}

std::string versionNumbersText(const std::array<std::uint16_t, 4>& numbers) {
    return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]) + "." +
           std::to_string(numbers[3]);
}

}  // namespace cartscope
