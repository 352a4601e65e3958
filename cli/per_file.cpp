#include "cli/per_file.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "core/rom_info.h"

namespace cartscope::cli {

namespace {

// What the full command line may read as a command rather than as a value.
constexpr std::string_view kCommandNames[] = {"info",      "names", "rename", "db",      "icon",
                                              "thumbnail", "trim",  "untrim", "publish", "update-db"};

// A file name or option value as the full command line takes it too: not
// empty, not like an option, not a command's name.
bool plainValue(std::string_view value) {
    return !value.empty() && value[0] != '-' &&
           std::find(std::begin(kCommandNames), std::end(kCommandNames), value) == std::end(kCommandNames);
}

// A size written in plain decimal digits, from 1 to kLargestPicture (the
// full command line also reads other notations).
std::optional<int> plainSize(std::string_view value) {
    if (value.empty() || value.size() > 4 || value[0] < '1' || value[0] > '9') return std::nullopt;
    int size = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        size = size * 10 + (c - '0');
    }
    if (size > kLargestPicture) return std::nullopt;
    return size;
}

// An option with a value, under its names ("-o", "--output").
struct ValueOption {
    std::vector<std::string_view> names;
    std::optional<std::string> value;
};

// The arguments after the command's name: positional values, and each option
// at most once, as NAME VALUE or --NAME=VALUE. False for any other form.
bool readArguments(int argc, char** argv, std::vector<ValueOption*> options, std::vector<std::string>& positional) {
    auto find = [&](std::string_view name) -> ValueOption* {
        for (auto* option : options)
            if (std::find(option->names.begin(), option->names.end(), name) != option->names.end()) return option;
        return nullptr;
    };
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument = argv[i];
        ValueOption* option = nullptr;
        std::string_view value;
        if (const auto equals = argument.find('='); argument.substr(0, 2) == "--" && equals != std::string_view::npos) {
            option = find(argument.substr(0, equals));
            value = argument.substr(equals + 1);
        } else if (!argument.empty() && argument[0] == '-') {
            option = find(argument);
            if (option == nullptr || i + 1 >= argc) return false;
            value = argv[++i];
        } else {
            if (!plainValue(argument)) return false;
            positional.emplace_back(argument);
            continue;
        }
        if (option == nullptr || option->value || !plainValue(value)) return false;
        option->value = std::string(value);
    }
    return true;
}

}  // namespace

std::optional<int> runPerFileCommand(int argc, char** argv) {
    if (argc < 3) return std::nullopt;
    const std::string_view command = argv[1];
    std::vector<std::string> positional;
    if (command == "info") {
        ValueOption database{{"--db"}, {}};
        if (!readArguments(argc, argv, {&database}, positional) || positional.empty()) return std::nullopt;
        if (const int status = chooseDatabase(database.value.has_value(), database.value.value_or(""))) return status;
        return info(positional);
    }
    if (command == "icon") {
        ValueOption output{{"-o", "--output"}, {}};
        ValueOption size{{"--size"}, {}};
        if (!readArguments(argc, argv, {&output, &size}, positional) || positional.size() != 1 || !output.value)
            return std::nullopt;
        const auto side = size.value ? plainSize(*size.value) : std::optional<int>(kIconSide);
        if (!side) return std::nullopt;
        return icon(positional[0], *output.value, *side);
    }
    if (command == "trim" || command == "untrim") {
        if (!readArguments(argc, argv, {}, positional) || positional.empty()) return std::nullopt;
        return edit(positional, command == "trim");
    }
    if (command == "thumbnail") {
        ValueOption size{{"-s", "--size"}, {}};
        if (!readArguments(argc, argv, {&size}, positional) || positional.size() != 2) return std::nullopt;
        const auto side = size.value ? plainSize(*size.value) : std::optional<int>(kThumbnailSize);
        if (!side) return std::nullopt;
        return thumbnail(positional[0], positional[1], *side);
    }
    return std::nullopt;
}

}  // namespace cartscope::cli
