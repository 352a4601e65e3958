// What the library hands the program: command names, path files, command
// lines, and the rename after banner titles that both carry out.
#include <gtest/gtest.h>

#include <array>
#include <cwchar>
#include <map>
#include <optional>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "core/byte_source.h"
#include "core/command_request.h"
#include "core/tests/support/rom_builder.h"
#include "core/text.h"

using namespace cartscope;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;

namespace {

std::vector<std::uint8_t> utf16(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

using Paths = std::vector<std::u16string>;

// The argument vector the program gets for a command line, as the system
// splits it.
std::vector<std::u16string> splitCommandLine(const std::u16string& line) {
    std::vector<std::u16string> args;
#ifdef _WIN32
    int count = 0;
    const std::wstring wide(line.begin(), line.end());
    LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &count);
    for (int i = 0; argv && i < count; ++i) args.emplace_back(argv[i], argv[i] + std::wcslen(argv[i]));
    if (argv) LocalFree(argv);
#else
    // Elsewhere as Windows splits the lines built here, which never hold a
    // backslash before a quote: the program's name runs to the first blank,
    // then blanks outside quotes part the arguments and quotes are dropped.
    std::size_t at = line.find(u' ');
    args.push_back(line.substr(0, at));
    std::u16string arg;
    bool quoted = false, inArgument = false;
    for (; at < line.size(); ++at) {
        const char16_t unit = line[at];
        if (unit == u' ' && !quoted) {
            if (inArgument) args.push_back(arg);
            arg.clear();
            inArgument = false;
            continue;
        }
        if (unit == u'"')
            quoted = !quoted;
        else
            arg += unit;
        inArgument = true;
    }
    if (inArgument) args.push_back(arg);
#endif
    return args;
}

}  // namespace

TEST(CommandNames, OneTableBothWays) {
    const std::pair<const char16_t*, Command> table[] = {{u"info", Command::Info},
                                                         {u"settings", Command::Settings},
                                                         {u"auto_update", Command::AutoUpdate},
                                                         {u"auto_update_admin", Command::AutoUpdateAdmin},
                                                         {u"update", Command::Update},
                                                         {u"update_admin", Command::UpdateAdmin},
                                                         {u"rename", Command::Rename},
                                                         {u"trim", Command::Trim},
                                                         {u"untrim", Command::Untrim},
                                                         {u"cleanup", Command::Cleanup},
                                                         {u"trim ", Command::None},
                                                         {u"", Command::None}};
    for (const auto& [name, command] : table) {
        EXPECT_EQ(commandFor(name), command) << toUtf8(name);
        if (command != Command::None) {
            EXPECT_EQ(commandName(command), name);
        }
    }
    EXPECT_EQ(commandFor(u"Trim"), Command::None) << "names are case-sensitive";
    EXPECT_EQ(commandName(Command::None), u"");
}

TEST(PathFile, DecodingTakesWhatItFinds) {
    EXPECT_TRUE(decodePathFile({}).empty());
    EXPECT_EQ(decodePathFile(utf16(std::u16string(u"C:\\a.nds") + u'\0' + u"C:\\b.nds" + u'\0')),
              (Paths{u"C:\\a.nds", u"C:\\b.nds"}));
    EXPECT_EQ(decodePathFile(utf16(std::u16string(u"a") + u'\0' + u'\0' + u"b")), (Paths{u"a", u"", u"b"}))
        << "an empty path between two NULs; the last path needs no NUL";
    auto odd = utf16(std::u16string(u"ab") + u'\0');
    odd.push_back(0x41);
    EXPECT_EQ(decodePathFile(odd), Paths{u"ab"}) << "an odd last byte is ignored";
    EXPECT_EQ(decodePathFile(utf16(u"\u30B2\u30FC\u30E0.nds")), Paths{u"\u30B2\u30FC\u30E0.nds"});
}

TEST(CommandLine, ExactlyAsTheLibraryStartsTheProgram) {
    EXPECT_EQ(buildCommandLine(Command::Settings), u" /command:settings");
    EXPECT_EQ(buildCommandLine(Command::AutoUpdate), u" /command:auto_update");
    EXPECT_EQ(buildCommandLine(Command::Trim, u"C:\\Users\\A B\\Temp\\nds1F.tmp"),
              u" /command:trim /pathfile:\"C:\\Users\\A B\\Temp\\nds1F.tmp\"");
    EXPECT_EQ(buildCommandLine(Command::Untrim, u""), u" /command:untrim /pathfile:\"\"")
        << "a path file without a name is still named";
    EXPECT_EQ(buildCommandLine(Command::Rename, u"C:\\nds2.tmp", 5u), u" /command:rename /pathfile:\"C:\\nds2.tmp\" /language:5");
    EXPECT_EQ(encodePathFile({u"C:\\a.nds", u"C:\\b.nds"}).size(), 36u) << "two bytes a unit, a NUL after each path";
}

// From the library's selection to the program's list: path file written and
// named on the command line, the line split by the system, read back.
TEST(CommandLine, PathsCommandAndLanguageComeThrough) {
    struct Case {
        Command command;
        Paths paths;
        std::u16string pathFile;
        std::optional<unsigned> language;
    };
    const Case cases[] = {
        {Command::Trim, {u"C:\\ROMs\\a.nds", u"C:\\ROMs\\b.nds"}, u"C:\\Temp\\nds1A.tmp", std::nullopt},
        {Command::Untrim, {u"D:\\With Blanks\\Game (E).nds"}, u"C:\\Users\\Some One\\Temp\\nds2B.tmp", std::nullopt},
        {Command::Rename,
         {u"C:\\\u30B2\u30FC\u30E0\\\u30B2\u30FC\u30E0.nds", u"C:\\\U0001F3AE.nds", u"", u"C:\\x.nds"},
         u"C:\\Temp\\nds3C.tmp",
         0u},
        {Command::Rename, {u"C:\\a.nds"}, u"C:\\Temp\\nds4D.tmp", 5u},
        {Command::Trim, {}, u"C:\\Temp\\nds5E.tmp", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(buildCommandLine(c.command, c.pathFile, c.language)));
        std::map<std::u16string, std::vector<std::uint8_t>> files = {{c.pathFile, encodePathFile(c.paths)}};
        const auto readPathFile = [&files](const std::u16string& file, std::vector<std::uint8_t>& bytes) {
            const auto found = files.find(file);
            if (found == files.end()) return false;
            bytes = found->second;
            files.erase(found);
            return true;
        };
        Paths shown;
        const CommandArguments arguments =
            parseArguments(splitCommandLine(buildCommandLine(c.command, c.pathFile, c.language)), readPathFile,
                           [&shown](const std::u16string& path) { shown.push_back(path); });
        EXPECT_EQ(commandFor(arguments.command), c.command);
        EXPECT_EQ(arguments.paths, c.paths);
        EXPECT_EQ(shown, c.paths);
        EXPECT_EQ(arguments.language, c.language.value_or(0));
        EXPECT_FALSE(arguments.stop);
        EXPECT_TRUE(files.empty()) << "the path file was read";
    }

    // Without a path file the program gets no paths; without a command, the settings.
    const auto noFiles = [](const std::u16string&, std::vector<std::uint8_t>&) -> bool {
        ADD_FAILURE() << "no path file was named";
        return false;
    };
    const CommandArguments info = parseArguments(splitCommandLine(buildCommandLine(Command::Info)), noFiles, nullptr);
    EXPECT_EQ(info.command, u"info");
    EXPECT_TRUE(info.paths.empty());
    EXPECT_EQ(parseArguments(splitCommandLine(u" "), noFiles, nullptr).command, u"settings");
}

namespace {

// ROMs as the rename commands load them, from images in memory under `folder`.
class RenameByBannerTitles : public ::testing::Test {
protected:
    void add(const std::string& name, const std::array<std::u16string, 6>& titles) {
        RomSpec card;
        card.titles = titles;
        images_.push_back(buildRom(card));
        MemorySource source(images_.back().data(), images_.back().size(), folder + widen(name));
        RomInfo rom;
        ASSERT_TRUE(rom.load(source, RomLoadFlags::KeepShortTitles));
        roms.push_back(std::move(rom));
    }
    // The moves one rename hands over; nullopt when it made no call.
    std::optional<std::vector<FileMove>> rename(unsigned language, std::u16string_view pattern = u"%T") {
        std::optional<std::vector<FileMove>> handed;
        renameByBannerTitles(roms, language, pattern, [&handed](const std::vector<FileMove>& moves) {
            EXPECT_FALSE(handed) << "one call for all files";
            handed = moves;
        });
        return handed;
    }

    const std::u16string folder = u"roms/";
    std::vector<RomInfo> roms;

private:
    std::vector<std::vector<std::uint8_t>> images_;
};

}  // namespace

TEST_F(RenameByBannerTitles, OneMoveForEveryNameThatChanges) {
    add("1.nds", {u"", u"Game", u"Jeu", u"", u"", u""});
    add("2.nds", {u"Japanese", u"Other", u"", u"", u"", u""});
    add("3.nds", {u"", u"", u"", u"", u"", u""});
    add("Same.nds", {u"", u"Same", u"", u"", u"", u""});
    add("4.nds", {u"Only Japanese\nMaker", u"", u"", u"", u"", u""});

    EXPECT_EQ(rename(French), (std::vector<FileMove>{{u"roms/1.nds", u"roms/Jeu.nds"},
                                                     {u"roms/2.nds", u"roms/Other.nds"},
                                                     {u"roms/4.nds", u"roms/Only Japanese.nds"}}))
        << "no French title: English, then Japanese; no title at all or the same name: left out";
    EXPECT_EQ(rename(English, u"[%R] %T"), (std::vector<FileMove>{{u"roms/1.nds", u"roms/[USA] Game.nds"},
                                                                  {u"roms/2.nds", u"roms/[USA] Other.nds"},
                                                                  {u"roms/Same.nds", u"roms/[USA] Same.nds"},
                                                                  {u"roms/4.nds", u"roms/[USA] Only Japanese.nds"}}));
}

TEST_F(RenameByBannerTitles, NoCallWhenNothingChanges) {
    EXPECT_EQ(rename(English), std::nullopt) << "no ROMs";
    add("Same.nds", {u"", u"Same", u"", u"", u"", u""});
    add("untitled.nds", {u"", u"", u"", u"", u"", u""});
    EXPECT_EQ(rename(English), std::nullopt);
}
