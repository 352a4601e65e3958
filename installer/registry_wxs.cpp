// Writes the installer's registry rows from the library's own registry table
// (shellext/registry_table.h), so that the package and DllRegisterServer can
// never disagree:
//   registry_wxs FRAGMENT.wxs TABLES.sql
// FRAGMENT.wxs is a WiX fragment with the components and their values
// (component group "RegistryEntries", library file id "CartscopeDll", folder
// INSTALLFOLDER). TABLES.sql holds, one a line, the database queries for what
// wixl cannot express: component attributes and conditions, the registry root
// "current user or machine by scope", and the keys deleted at installation.
//
// How the library's modes become rows:
//   Keep     "+" row for a key without values (created when missing, never
//            deleted) and its values, in a permanent component: unregistration
//            leaves them, so uninstallation does too.
//   Replace  "*" row (created, and deleted with its subkeys at uninstallation)
//            and a RemoveRegistry "-" row (deleted at installation before the
//            values are written, like the library's delete-and-write).
//   Inside   values only; they go with their replace-mode key.
// Class entries use root HKMU: HKEY_CURRENT_USER\Software\Classes for a
// per-user installation, HKEY_LOCAL_MACHINE\Software\Classes for all users.
// Machine entries (the property handler) are installed for all users only.
// The type library's keys are rows as well (see typeLibraryEntries).
#include <algorithm>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/text.h"
#include "shellext/registry_table.h"

namespace {

using cartscope::shell::Hive;
using cartscope::shell::KeyEntry;
using cartscope::shell::Mode;

// Stand for the library's path ([#CartscopeDll]) and its folder
// ([INSTALLFOLDER]) until the text is escaped.
constexpr wchar_t kModuleMark[] = L"\x1";
constexpr wchar_t kFolderMark[] = L"\x2";
constexpr char kLibraryFile[] = "CartscopeDll";

// The keys RegisterTypeLib writes for the library's embedded type library
// (resource TYPELIB 1, compiled by widl from shellext/resources/Cartscope.idl):
// its identifier, version and help string, the 64-bit file, the library's
// flags (8: LIBFLAG_FHASDISKIMAGE, which widl sets), and the help folder. The
// library registers its type library through RegisterTypeLib rather than the
// table; the installer has no RegisterTypeLib for a per-user installation that
// does not need administrator rights, so these rows stand for it, and the
// installer's test compares them with what the library registers.
// IFileIconExt is neither dual nor an automation interface: no Interface keys.
std::vector<KeyEntry> typeLibraryEntries(const std::wstring& module, const std::wstring& helpFolder) {
    const std::wstring key = L"TypeLib\\{8B2F6D40-3C17-4E95-A6D2-0F4C9B71E358}";
    return {
        {Hive::ClassesRoot, L"TypeLib", Mode::Keep, {}},
        {Hive::ClassesRoot, key, Mode::Replace, {}},
        {Hive::ClassesRoot, key + L"\\1.0", Mode::Inside, {{nullptr, L"Cartscope 1.0 Type Library"}}},
        {Hive::ClassesRoot, key + L"\\1.0\\0\\win64", Mode::Inside, {{nullptr, module}}},
        {Hive::ClassesRoot, key + L"\\1.0\\FLAGS", Mode::Inside, {{nullptr, L"8"}}},
        {Hive::ClassesRoot, key + L"\\1.0\\HELPDIR", Mode::Inside, {{nullptr, helpFolder}}},
    };
}

// The table's text as UTF-8 (it is ASCII today): the table's wide text is
// UTF-16 on Windows; here each character of it is one code unit.
std::string utf8(const std::wstring& text) { return cartscope::toUtf8(std::u16string(text.begin(), text.end())); }

// Registry keys and values are formatted text in a package: brackets would
// name properties. The marks become references to the file and its folder.
std::string formatted(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) {
        if (c == L'[') {
            out += "[\\[]";
        } else if (c == L']') {
            out += "[\\]]";
        } else if (c == kModuleMark[0]) {
            out += std::string("[#") + kLibraryFile + "]";
        } else if (c == kFolderMark[0]) {
            out += "[INSTALLFOLDER]";
        } else {
            out += utf8(std::wstring(1, c));
        }
    }
    return out;
}

std::string xml(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string sqlText(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'')
            out += "''";
        else
            out += c;
    }
    return out + "'";
}

struct Row {
    std::string id;
    std::string key;
    std::string name;  // "" the default value; "+", "*" key rows
    std::string value;
    bool isValue;
};

struct Component {
    std::string id;
    std::string guid;
    bool machine;    // HKEY_LOCAL_MACHINE, for all users only
    bool permanent;  // left by uninstallation
    std::vector<Row> rows;
};

std::string keyPath(const KeyEntry& entry) {
    const std::string path = formatted(entry.path);
    return entry.hive == Hive::ClassesRoot ? "Software\\Classes\\" + path : path;
}

void addEntry(Component& component, const KeyEntry& entry, int& counter) {
    const std::string key = keyPath(entry);
    auto nextId = [&] { return component.id + "_" + std::to_string(++counter); };
    if (entry.mode == Mode::Replace) component.rows.push_back({nextId(), key, "*", "", false});
    if (entry.mode == Mode::Keep && entry.values.empty()) component.rows.push_back({nextId(), key, "+", "", false});
    for (const auto& value : entry.values)
        component.rows.push_back({nextId(), key, value.name ? utf8(value.name) : "", formatted(value.data), true});
}

void writeFragment(std::ostream& out, const std::vector<Component>& components) {
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<!-- Written by registry_wxs from shellext/registry_table.cpp. -->\n"
           "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
           "  <Fragment>\n"
           "    <DirectoryRef Id=\"INSTALLFOLDER\">\n";
    for (const Component& component : components) {
        out << "      <Component Id=\"" << component.id << "\" Guid=\"" << component.guid << "\" Win64=\"yes\">\n";
        bool keyPathGiven = false;
        for (const Row& row : component.rows) {
            out << "        <RegistryValue Id=\"" << row.id << "\" Root=\"" << (component.machine ? "HKLM" : "HKMU")
                << "\" Key=\"" << xml(row.key) << "\"";
            if (!row.name.empty()) out << " Name=\"" << xml(row.name) << "\"";
            out << " Type=\"string\"";
            // Key rows have no value; wixl wants the attribute all the same.
            out << " Value=\"" << xml(row.value) << "\"";
            if (row.isValue && !keyPathGiven) {
                out << " KeyPath=\"yes\"";
                keyPathGiven = true;
            }
            out << "/>\n";
        }
        out << "      </Component>\n";
    }
    out << "    </DirectoryRef>\n"
           "    <ComponentGroup Id=\"RegistryEntries\">\n";
    for (const Component& component : components) out << "      <ComponentRef Id=\"" << component.id << "\"/>\n";
    out << "    </ComponentGroup>\n"
           "  </Fragment>\n"
           "</Wix>\n";
}

// Component attributes: 4 registry key path, 256 64-bit, 16 permanent.
void writeQueries(std::ostream& out, const std::vector<Component>& components, const std::vector<KeyEntry>& replaced) {
    // wixl writes root HKMU as 4; the installer's code for it is -1.
    out << "UPDATE `Registry` SET `Root` = -1 WHERE `Root` = 4\n";
    for (const Component& component : components) {
        out << "UPDATE `Component` SET `Attributes` = " << (4 | 256 | (component.permanent ? 16 : 0));
        if (component.machine) out << ", `Condition` = 'ALLUSERS'";
        out << " WHERE `Component` = " << sqlText(component.id) << "\n";
    }
    out << "CREATE TABLE `RemoveRegistry` (`RemoveRegistry` CHAR(72) NOT NULL, `Root` SHORT NOT NULL, "
           "`Key` CHAR(255) NOT NULL LOCALIZABLE, `Name` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL "
           "PRIMARY KEY `RemoveRegistry`)\n";
    int counter = 0;
    for (const KeyEntry& entry : replaced) {
        const bool machine = entry.hive == Hive::LocalMachine;
        out << "INSERT INTO `RemoveRegistry` (`RemoveRegistry`, `Root`, `Key`, `Name`, `Component_`) VALUES ("
            << sqlText("Stale_" + std::to_string(++counter)) << ", " << (machine ? 2 : -1) << ", " << sqlText(keyPath(entry))
            << ", '-', " << sqlText(machine ? "MachineEntries" : "ClassEntries") << ")\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: registry_wxs FRAGMENT.wxs TABLES.sql\n";
        return 2;
    }
    const std::wstring module = kModuleMark;
    std::vector<KeyEntry> entries = cartscope::shell::registryEntries(module);
    for (KeyEntry& entry : typeLibraryEntries(module, kFolderMark)) entries.push_back(std::move(entry));

    // Fixed component identities: the same rows keep the same components from
    // one release to the next.
    std::vector<Component> components = {
        {"ClassEntriesKept", "{3D0B5C61-8E42-4A7F-B1D9-6C2E57A4F801}", false, true, {}},
        {"ClassEntries", "{3D0B5C62-8E42-4A7F-B1D9-6C2E57A4F801}", false, false, {}},
        {"MachineEntries", "{3D0B5C63-8E42-4A7F-B1D9-6C2E57A4F801}", true, false, {}},
    };
    std::vector<KeyEntry> replaced;
    int counter = 0;
    for (const KeyEntry& entry : entries) {
        const bool machine = entry.hive == Hive::LocalMachine;
        // Machine keys in keep mode are bare "+" rows, which no uninstallation
        // deletes: they can share the handler's component.
        Component& component = machine ? components[2] : entry.mode == Mode::Keep ? components[0] : components[1];
        addEntry(component, entry, counter);
        if (entry.mode == Mode::Replace) replaced.push_back(entry);
    }
    // Each component's key path is one of its values.
    for (const Component& component : components) {
        if (std::none_of(component.rows.begin(), component.rows.end(), [](const Row& row) { return row.isValue; })) {
            std::cerr << "registry_wxs: component " << component.id << " has no value for its key path\n";
            return 1;
        }
    }

    std::ofstream fragment(argv[1], std::ios::binary);
    writeFragment(fragment, components);
    std::ofstream queries(argv[2], std::ios::binary);
    writeQueries(queries, components, replaced);
    fragment.close();
    queries.close();
    if (!fragment || !queries) {
        std::cerr << "registry_wxs: cannot write " << argv[1] << " or " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
