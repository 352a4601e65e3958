#include "shellext/registry_table.h"

namespace cartscope::shell {

std::vector<KeyEntry> registryEntries(const std::wstring& module) {
    const std::wstring clsid = kClsidText;
    std::vector<KeyEntry> entries = {
        {Hive::ClassesRoot, L"CLSID", Mode::Keep, {}},
    };
    for (const wchar_t* served : {kClsidText, kClsidSecondText}) {
        const std::wstring key = std::wstring(L"CLSID\\") + served;
        entries.push_back({Hive::ClassesRoot, key, Mode::Replace, {{nullptr, L"NDS Files"}}});
        entries.push_back(
            {Hive::ClassesRoot, key + L"\\InprocServer32", Mode::Inside, {{nullptr, module}, {L"ThreadingModel", L"Apartment"}}});
    }
    entries.push_back({Hive::ClassesRoot, L"Folder", Mode::Keep, {}});
    entries.push_back({Hive::ClassesRoot, L"Folder\\Shellex", Mode::Keep, {}});
    entries.push_back({Hive::ClassesRoot, L"Folder\\Shellex\\ColumnHandlers", Mode::Keep, {}});
    entries.push_back(
        {Hive::ClassesRoot, L"Folder\\Shellex\\ColumnHandlers\\" + clsid, Mode::Replace, {{nullptr, L"Cartscope column ext"}}});
    // The extension and its file type carry the same handler subtree.
    for (const wchar_t* type : {L".nds", L"nds_auto_file"}) {
        const std::wstring key = type;
        std::vector<Value> typeValues;
        if (key == L".nds") typeValues.push_back({nullptr, L"nds_auto_file"});
        entries.push_back({Hive::ClassesRoot, key, Mode::Keep, typeValues});
        entries.push_back({Hive::ClassesRoot, key + L"\\DefaultIcon", Mode::Keep, {{nullptr, L"%1"}}});
        entries.push_back({Hive::ClassesRoot, key + L"\\ShellEx", Mode::Keep, {}});
        entries.push_back({Hive::ClassesRoot, key + L"\\ShellEx\\IconHandler", Mode::Replace, {{nullptr, clsid}}});
        // The info-tip handler: IQueryInfo's interface identifier.
        entries.push_back(
            {Hive::ClassesRoot, key + L"\\ShellEx\\{00021500-0000-0000-C000-000000000046}", Mode::Replace, {{nullptr, clsid}}});
        entries.push_back({Hive::ClassesRoot, key + L"\\ShellEx\\ContextMenuHandlers", Mode::Keep, {}});
        entries.push_back({Hive::ClassesRoot, key + L"\\ShellEx\\ContextMenuHandlers\\" + clsid, Mode::Replace, {}});
    }
    std::wstring handlers;
    for (const wchar_t* part :
         {L"SOFTWARE", L"\\Microsoft", L"\\Windows", L"\\CurrentVersion", L"\\PropertySystem", L"\\PropertyHandlers"}) {
        handlers += part;
        entries.push_back({Hive::LocalMachine, handlers, Mode::Keep, {}});
    }
    entries.push_back({Hive::LocalMachine, handlers + L"\\.nds", Mode::Replace, {{nullptr, clsid}}});
    return entries;
}

}  // namespace cartscope::shell
