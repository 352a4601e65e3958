#include "win/version_info.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "win/module_path.h"

namespace cartscope::win {

const wchar_t* const CFileVersionInfo::kKeyNames[KeyCount] = {
    L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",    L"LegalCopyright", L"OriginalFileName",
    L"ProductName", L"ProductVersion",  L"Comments",    L"LegalTrademarks", L"PrivateBuild",   L"SpecialBuild",
};

void CFileVersionInfo::clear() {
    std::memset(&fixedInfo, 0, sizeof fixedInfo);
    for (std::wstring& s : strings) s.clear();
}

bool CFileVersionInfo::loadFromFile(const std::wstring& path) { return loadFromFile(path, GetUserDefaultLangID()); }

bool CFileVersionInfo::loadFromFile(const std::wstring& path, LANGID userLanguage) {
    clear();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return false;
    std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[size]);
    if (!data) return false;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.get())) return false;

    void* block = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.get(), L"\\", &block, &length) && block && length == sizeof fixedInfo)
        std::memcpy(&fixedInfo, block, sizeof fixedInfo);

    // Without a translation list there is no string table to choose: no strings.
    std::vector<std::uint32_t> translations;
    if (VerQueryValueW(data.get(), L"\\VarFileInfo\\Translation", &block, &length) && block) {
        translations.resize(length / sizeof(std::uint32_t));
        if (!translations.empty()) std::memcpy(translations.data(), block, translations.size() * sizeof(std::uint32_t));
    }
    const int chosen = findTranslation(translations, userLanguage);
    if (chosen < 0) return true;
    const std::uint32_t entry = translations[static_cast<std::size_t>(chosen)];
    const std::wstring prefix = stringTablePrefix(LOWORD(entry), HIWORD(entry));
    for (int key = 0; key < KeyCount; ++key) {
        const std::wstring name = prefix + kKeyNames[key];
        // `length` counts characters; a string without its zero ends there.
        if (VerQueryValueW(data.get(), name.c_str(), &block, &length) && block) {
            const auto* text = static_cast<const wchar_t*>(block);
            strings[key].assign(text, wcsnlen(text, length));
        }
    }
    return true;
}

bool CFileVersionInfo::loadFromProgram() {
    const std::wstring path = modulePath();
    if (path.empty()) {
        clear();
        return false;
    }
    return loadFromFile(path);
}

int findTranslation(const std::vector<std::uint32_t>& translations, LANGID userLanguage) {
    if (translations.empty()) return -1;
    const auto exactly = [&](WORD language) -> int {
        for (std::size_t i = 0; i < translations.size(); ++i)
            if (LOWORD(translations[i]) == language) return static_cast<int>(i);
        return -1;
    };
    const auto primary = [&](WORD language) -> int {
        for (std::size_t i = 0; i < translations.size(); ++i)
            if ((LOWORD(translations[i]) & 0xFF) == (language & 0xFF)) return static_cast<int>(i);
        return -1;
    };
    for (const WORD language : {static_cast<WORD>(userLanguage), WORD{0}, WORD{9}}) {
        if (const int found = exactly(language); found >= 0) return found;
        if (const int found = primary(language); found >= 0) return found;
    }
    return 0;
}

std::wstring stringTablePrefix(WORD language, WORD codePage) {
    wchar_t prefix[32];
    std::swprintf(prefix, 32, L"\\StringFileInfo\\%04X%04X\\", language, codePage);
    return prefix;
}

}  // namespace cartscope::win
