#include "core/rename_pattern.h"

#include <string>

#include "core/text.h"

namespace cartscope {

namespace {

constexpr std::u16string_view kForbidden = u"\\/:*?\"<>|";
constexpr std::u16string_view kParameterLetters = u"NTRSsG%";

// Every non-overlapping occurrence of `from`, left to right, becomes `to`.
void replaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    std::size_t hit = text.find(from);
    if (hit == std::u16string::npos) return;
    std::u16string out;
    out.reserve(text.size() + to.size());
    std::size_t copied = 0;
    while (hit != std::u16string::npos) {
        out.append(text, copied, hit - copied);
        out.append(to);
        copied = hit + from.size();
        hit = text.find(from, copied);
    }
    out.append(text, copied, std::u16string::npos);
    text = std::move(out);
}

// Every "%S...%s" block becomes the text for the file's state.
void resolveTrimBlocks(std::u16string& text, bool trimmed) {
    std::optional<TrimBlock> block = findTrimBlock(text, 0);
    if (!block) return;
    std::u16string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    while (block) {
        out.append(text, copied, block->position - copied);
        out.append(trimmed ? block->trimmed : block->untrimmed);
        copied = block->position + block->length;
        block = findTrimBlock(text, copied);
    }
    out.append(text, copied, std::u16string::npos);
    text = std::move(out);
}

// The first two lines joined at the line break at `lineBreak`.
std::u16string joinFirstTwoLines(std::u16string text, std::size_t lineBreak) {
    const auto replaceBreak = [&](std::u16string_view with) { text.replace(lineBreak, 1, with); };
    if (lineBreak <= 1) {
        replaceBreak(u" - ");
    } else if (text[lineBreak - 1] == u' ') {
        replaceBreak(u"");
    } else if (text[lineBreak - 1] == u'-') {
        // "Big -" + "Game" keeps its dash apart; "Super-" + "Game" closes up.
        replaceBreak(text[lineBreak - 2] == u' ' ? u" " : u"");
    } else {
        replaceBreak(u" - ");
    }
    return text;
}

// The text up to its first line break, made fit for a file name.
std::u16string firstLine(std::u16string_view text) {
    std::u16string line(text.substr(0, text.find(u'\n')));
    sanitizeFileName(line);
    return line;
}

}  // namespace

std::optional<TrimBlock> findTrimBlock(std::u16string_view text, std::size_t from) {
    // With no '%' allowed in either group, the block can only close at the
    // first '%' after its "%S": the first group takes everything up to the
    // first ',' or '%', a ',' there is taken as the separator, and the second
    // group runs on to that '%'. Shorter groups cannot end in front of a '%',
    // so a "%S" whose next '%' does not start "%s" has no match at all.
    // The '%' that ends one candidate is the earliest place for the next
    // "%S", so the search looks at each unit a bounded number of times.
    std::size_t start = text.find(u"%S", from);
    while (start != std::u16string_view::npos) {
        const std::size_t body = start + 2;
        const std::size_t close = text.find(u'%', body);
        if (close == std::u16string_view::npos) return std::nullopt;
        if (close + 1 < text.size() && text[close + 1] == u's') {
            TrimBlock block;
            block.position = start;
            block.length = close + 2 - start;
            const std::size_t split = text.find(u',', body);
            if (split < close) {
                block.trimmed = text.substr(body, split - body);
                block.untrimmed = text.substr(split + 1, close - split - 1);
            } else {
                block.trimmed = text.substr(body, close - body);
                block.untrimmed = text.substr(close, 0);
            }
            return block;
        }
        start = text.find(u"%S", close);
    }
    return std::nullopt;
}

void sanitizeFileName(std::u16string& name) {
    for (char16_t& unit : name) {
        if (kForbidden.find(unit) != std::u16string_view::npos) unit = u'_';
    }
}

namespace {

// "##" back to "%", left to right. An escaped "\#" of the pattern is passed
// over whole: taking its '#' as the start of a pair would mangle a literal '#'
// that stands right before "%%" ("#%%" must give "#%", not "\%#").
void restorePercentSigns(std::u16string& name) {
    std::u16string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == u'\\' && i + 1 < name.size() && name[i + 1] == u'#') {
            out += u"\\#";
            ++i;
        } else if (name[i] == u'#' && i + 1 < name.size() && name[i + 1] == u'#') {
            out += u'%';
            ++i;
        } else {
            out += name[i];
        }
    }
    name = std::move(out);
}

}  // namespace

std::u16string applyRenamePattern(const RomInfo& rom, std::u16string_view pattern, std::u16string_view title) {
    if (pattern.empty()) return {};
    std::u16string name(pattern);
    // A literal '#' is escaped first so that the "%%" -> "##" -> "%" round
    // trip cannot pick it up. The order of the steps is part of the
    // behaviour: text put in by one step is seen by the steps after it.
    replaceAll(name, u"#", u"\\#");
    replaceAll(name, u"%%", u"##");
    replaceAll(name, u"%N", rom.releaseNumber);
    replaceAll(name, u"%T", title);
    replaceAll(name, u"%R", rom.region);
    resolveTrimBlocks(name, rom.isTrimmed());
    replaceAll(name, u"%G", rom.releaseGroup);
    restorePercentSigns(name);
    replaceAll(name, u"\\#", u"#");
    sanitizeFileName(name);
    return name;
}

std::optional<std::u16string> validateRenamePattern(std::u16string_view pattern) {
    for (std::size_t i = pattern.find(u'%'); i != std::u16string_view::npos; i = pattern.find(u'%', i + 2)) {
        const bool atEnd = i + 1 >= pattern.size();
        if (atEnd || kParameterLetters.find(pattern[i + 1]) == std::u16string_view::npos) {
            std::u16string message = u"Invalid Parameter at pos " + widen(std::to_string(i + 1)) + u" ('%";
            if (!atEnd) message += pattern[i + 1];
            message += u"')";
            return message;
        }
    }
    const bool hasTrimBlockMark =
        pattern.find(u"%S") != std::u16string_view::npos || pattern.find(u"%s") != std::u16string_view::npos;
    if (hasTrimBlockMark && !findTrimBlock(pattern)) {
        return std::u16string(u"The %S (trimmed/untrimmed) Parameter must in the form\n%Strimmed-Text[,untrimmed-Text]%s.");
    }
    if (pattern.find(u"%T") == std::u16string_view::npos) {
        return std::u16string(u"The Reaname-Pattern must allways contain the %T (Title) Parameter");
    }
    return std::nullopt;
}

std::array<std::u16string, kBannerLanguages> bannerShortTitles(const RomInfo& rom) {
    std::array<std::u16string, kBannerLanguages> titles;
    if (!rom.bannerValid) return titles;
    for (int language = 0; language < kBannerLanguages; ++language)
        titles[static_cast<std::size_t>(language)] = firstLine(rom.bannerTitle(language));
    return titles;
}

std::set<std::u16string> collectRenameNames(const RomInfo& rom, std::u16string_view pattern) {
    std::set<std::u16string> names;
    if (rom.recordFound) names.insert(applyRenamePattern(rom, pattern, rom.name));
    if (!rom.bannerValid) return names;

    for (int language = 0; language < kBannerLanguages; ++language) {
        const std::u16string text = rom.bannerTitle(language);
        const std::u16string line = firstLine(text);
        if (!line.empty()) names.insert(applyRenamePattern(rom, pattern, line));

        const std::size_t lineBreak = text.find(u'\n');
        if (lineBreak == std::u16string::npos) continue;
        const std::u16string twoLines = firstLine(joinFirstTwoLines(text, lineBreak));
        if (!twoLines.empty()) names.insert(applyRenamePattern(rom, pattern, twoLines));
    }
    return names;
}

std::u16string renameTitle(const RomInfo& rom, unsigned language) {
    if (language >= static_cast<unsigned>(kBannerLanguages)) language = Japanese;
    if (!rom.shortTitles[language].empty()) return rom.shortTitles[language];
    if (!rom.shortTitles[English].empty()) return rom.shortTitles[English];
    return rom.shortTitles[Japanese];
}

std::u16string bannerRenamePath(const RomInfo& rom, unsigned language, std::u16string_view pattern) {
    const std::u16string title = renameTitle(rom, language);
    if (title.empty()) return {};
    return rom.folder + applyRenamePattern(rom, pattern, title) + u".nds";
}

}  // namespace cartscope
