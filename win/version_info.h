// The version resource of a program or library: the fixed version block and
// the twelve standard strings of the string table that best matches the
// user's language.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cartscope::win {

class CFileVersionInfo {
public:
    // The standard keys, in the order of `strings`.
    enum Key {
        CompanyName,
        FileDescription,
        FileVersion,
        InternalName,
        LegalCopyright,
        OriginalFileName,
        ProductName,
        ProductVersion,
        Comments,
        LegalTrademarks,
        PrivateBuild,
        SpecialBuild,
        KeyCount
    };
    static const wchar_t* const kKeyNames[KeyCount];

    CFileVersionInfo() { clear(); }
    virtual ~CFileVersionInfo() = default;
    virtual void clear();

    // True when the file's version resource was read, whatever it held; all
    // fields empty otherwise. The string table is chosen for the user's default
    // language, or for `userLanguage` when given.
    bool loadFromFile(const std::wstring& path);
    bool loadFromFile(const std::wstring& path, LANGID userLanguage);
    // loadFromFile on the running program's own file.
    bool loadFromProgram();

    std::wstring fileVersionText() const { return strings[FileVersion]; }

    VS_FIXEDFILEINFO fixedInfo;  // all zero when not read
    std::wstring strings[KeyCount];
};

// Which entry of a translation list (language in the low 16 bits, code page
// in the high 16 bits of each) serves a user of `userLanguage`: the user's
// language exactly, then its primary language, then neutral, then English;
// the first entry when none matches. -1 for an empty list.
int findTranslation(const std::vector<std::uint32_t>& translations, LANGID userLanguage);

// "\StringFileInfo\LLLLCCCC\" for a language and code page.
std::wstring stringTablePrefix(WORD language, WORD codePage);

}  // namespace cartscope::win
