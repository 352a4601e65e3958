#include "core/tests/support/pe_builder.h"

#include <algorithm>

#include "core/little_endian.h"

namespace cartscope::testing {

namespace {

void pad4(std::vector<std::uint8_t>& bytes) {
    while (bytes.size() % 4 != 0) bytes.push_back(0);
}

void append16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void append32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    append16(bytes, static_cast<std::uint16_t>(value));
    append16(bytes, static_cast<std::uint16_t>(value >> 16));
}

std::vector<std::uint8_t> utf16(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) append16(bytes, c);
    return bytes;
}

// A resource directory of numeric IDs; each entry's target is filled in later.
std::size_t appendDirectory(std::vector<std::uint8_t>& bytes, const std::vector<std::uint16_t>& ids) {
    const std::size_t at = bytes.size();
    bytes.resize(bytes.size() + 12, 0);
    append16(bytes, 0);  // named entries
    append16(bytes, static_cast<std::uint16_t>(ids.size()));
    for (std::uint16_t id : ids) {
        append32(bytes, id);
        append32(bytes, 0);
    }
    return at;
}

void setTarget(std::vector<std::uint8_t>& bytes, std::size_t directory, std::size_t entry, std::uint32_t target) {
    put32(&bytes[directory + 16 + entry * 8 + 4], target);
}

}  // namespace

std::vector<std::uint8_t> buildVersionBlock(const VersionBlock& block) {
    std::vector<std::uint8_t> bytes(6, 0);
    const auto key = utf16(block.key + u'\0');
    bytes.insert(bytes.end(), key.begin(), key.end());
    pad4(bytes);
    bytes.insert(bytes.end(), block.value.begin(), block.value.end());
    for (const VersionBlock& child : block.children) {
        pad4(bytes);
        const auto built = buildVersionBlock(child);
        bytes.insert(bytes.end(), built.begin(), built.end());
    }
    const std::size_t valueLength = block.text ? block.value.size() / 2 : block.value.size();
    put16(&bytes[0], block.length.value_or(static_cast<std::uint16_t>(bytes.size())));
    put16(&bytes[2], block.valueLength.value_or(static_cast<std::uint16_t>(valueLength)));
    put16(&bytes[4], block.text ? 1 : 0);
    return bytes;
}

VersionBlock versionString(const std::u16string& key, const std::u16string& text) {
    VersionBlock block;
    block.key = key;
    block.text = true;
    block.value = utf16(text + u'\0');
    return block;
}

VersionBlock versionInfo(const VersionSpec& layout) {
    VersionBlock root;
    root.key = u"VS_VERSION_INFO";
    append32(root.value, 0xFEEF04BD);
    append32(root.value, 0x00010000);
    for (int twice = 0; twice < 2; ++twice) {  // file version, product version
        append32(root.value, std::uint32_t{layout.fixedVersion[0]} << 16 | layout.fixedVersion[1]);
        append32(root.value, std::uint32_t{layout.fixedVersion[2]} << 16 | layout.fixedVersion[3]);
    }
    for (std::uint32_t field : {0x3Fu, 0u, 0x40004u, 2u, 0u, 0u, 0u}) append32(root.value, field);

    VersionBlock strings;
    strings.key = u"StringFileInfo";
    strings.text = true;
    for (const VersionTable& table : layout.tables) {
        VersionBlock block;
        block.key = table.key;
        block.text = true;
        for (const auto& [key, text] : table.strings) block.children.push_back(versionString(key, text));
        strings.children.push_back(block);
    }
    root.children.push_back(strings);

    if (layout.translations) {
        VersionBlock variables;
        variables.key = u"VarFileInfo";
        variables.text = true;
        VersionBlock list;
        list.key = u"Translation";
        for (std::uint32_t entry : *layout.translations) append32(list.value, entry);
        variables.children.push_back(list);
        root.children.push_back(variables);
    }
    return root;
}

VersionBlock versionInfo(const std::u16string& fileVersion) {
    VersionSpec layout;
    layout.tables = {{u"040904B0", {{u"CompanyName", u"Velmora"}, {u"FileVersion", fileVersion}}}};
    layout.translations = std::vector<std::uint32_t>{0x0409 | 1200u << 16};
    return versionInfo(layout);
}

std::vector<std::uint8_t> buildPe(const PeLayout& layout) {
    std::vector<std::uint8_t> bytes(kResourceFileOffset, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put32(&bytes[60], kPeHeaderOffset);
    std::uint8_t* pe = &bytes[kPeHeaderOffset];
    pe[0] = 'P';
    pe[1] = 'E';
    put16(pe + 4, layout.machine);
    put16(pe + 6, layout.resourceSection ? 1 : 0);
    const std::size_t directories = layout.pe32Plus ? 112 : 96;
    const std::size_t optionalSize = directories + 16 * 8;
    put16(pe + 20, static_cast<std::uint16_t>(optionalSize));
    std::uint8_t* optional = pe + 24;
    put16(optional, layout.pe32Plus ? 0x20B : 0x10B);
    put32(optional + directories - 4, 16);

    if (!layout.resourceSection) return bytes;

    // Root (RT_VERSION) -> name (ID 1) -> languages -> data entries -> data.
    std::vector<std::uint8_t> resource;
    const std::size_t root = appendDirectory(resource, {16});
    const std::size_t names = appendDirectory(resource, {1});
    std::vector<std::uint16_t> languages;
    for (const auto& version : layout.versions) languages.push_back(version.first);
    const std::size_t languageDirectory = appendDirectory(resource, languages);
    setTarget(resource, root, 0, 0x80000000u | static_cast<std::uint32_t>(names));
    setTarget(resource, names, 0, 0x80000000u | static_cast<std::uint32_t>(languageDirectory));
    std::vector<std::size_t> entries;
    for (std::size_t i = 0; i < layout.versions.size(); ++i) {
        entries.push_back(resource.size());
        setTarget(resource, languageDirectory, i, static_cast<std::uint32_t>(resource.size()));
        resource.resize(resource.size() + 16, 0);
    }
    for (std::size_t i = 0; i < layout.versions.size(); ++i) {
        pad4(resource);
        const auto& data = layout.versions[i].second;
        put32(&resource[entries[i]], kResourceRva + static_cast<std::uint32_t>(resource.size()));
        put32(&resource[entries[i] + 4], static_cast<std::uint32_t>(data.size()));
        resource.insert(resource.end(), data.begin(), data.end());
    }
    pad4(resource);

    put32(optional + directories + 2 * 8, kResourceRva);
    put32(optional + directories + 2 * 8 + 4, static_cast<std::uint32_t>(resource.size()));
    std::uint8_t* section = optional + optionalSize;
    std::copy_n(".rsrc", 5, section);
    put32(section + 8, static_cast<std::uint32_t>(resource.size()));
    put32(section + 12, kResourceRva);
    put32(section + 16, static_cast<std::uint32_t>(resource.size()));
    put32(section + 20, static_cast<std::uint32_t>(kResourceFileOffset));
    bytes.insert(bytes.end(), resource.begin(), resource.end());
    return bytes;
}

std::vector<std::uint8_t> buildProgram(const std::u16string& fileVersion) {
    PeLayout layout;
    layout.versions = {{0x0409, buildVersionBlock(versionInfo(fileVersion))}};
    return buildPe(layout);
}

std::vector<std::uint8_t> buildLibrary(const std::u16string& fileVersion) {
    PeLayout layout;
    layout.machine = 0x8664;
    layout.pe32Plus = true;
    layout.versions = {{0x0409, buildVersionBlock(versionInfo(fileVersion))}};
    return buildPe(layout);
}

}  // namespace cartscope::testing
