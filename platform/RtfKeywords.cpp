#include "platform/RtfKeywords.h"

#include <algorithm>
#include <iterator>

namespace Rtf {

namespace {

struct KeywordEntry
{
    std::string_view name;
    Keyword keyword;
};

constexpr KeywordEntry kKeywords[] = {
    {"annotation", Keyword::SkipDestination},
    {"ansi", Keyword::Ansi},
    {"ansicpg", Keyword::AnsiCodePage},
    {"b", Keyword::Bold},
    {"blue", Keyword::Blue},
    {"bullet", Keyword::Bullet},
    {"cb", Keyword::Background},
    {"cell", Keyword::Tab},
    {"cf", Keyword::Foreground},
    {"colorschememapping", Keyword::SkipDestination},
    {"colortbl", Keyword::ColorTable},
    {"cpg", Keyword::FontCodePage},
    {"datastore", Keyword::SkipDestination},
    {"deff", Keyword::DefaultFont},
    {"emdash", Keyword::EmDash},
    {"emspace", Keyword::EmSpace},
    {"endash", Keyword::EnDash},
    {"enspace", Keyword::EnSpace},
    {"f", Keyword::Font},
    {"fcharset", Keyword::Charset},
    {"filetbl", Keyword::SkipDestination},
    {"fldinst", Keyword::SkipDestination},
    {"fonttbl", Keyword::FontTable},
    {"footer", Keyword::SkipDestination},
    {"footerf", Keyword::SkipDestination},
    {"footerl", Keyword::SkipDestination},
    {"footerr", Keyword::SkipDestination},
    {"footnote", Keyword::SkipDestination},
    {"fs", Keyword::FontSize},
    {"generator", Keyword::SkipDestination},
    {"green", Keyword::Green},
    {"header", Keyword::SkipDestination},
    {"headerf", Keyword::SkipDestination},
    {"headerl", Keyword::SkipDestination},
    {"headerr", Keyword::SkipDestination},
    {"highlight", Keyword::Background},
    {"i", Keyword::Italic},
    {"info", Keyword::SkipDestination},
    {"latentstyles", Keyword::SkipDestination},
    {"ldblquote", Keyword::LeftDoubleQuote},
    {"line", Keyword::Line},
    {"listoverridetable", Keyword::SkipDestination},
    {"listtable", Keyword::SkipDestination},
    {"lquote", Keyword::LeftQuote},
    {"mac", Keyword::Mac},
    {"nestcell", Keyword::Tab},
    {"nestrow", Keyword::Par},
    {"nonshppict", Keyword::SkipDestination},
    {"objdata", Keyword::SkipDestination},
    {"object", Keyword::SkipDestination},
    {"page", Keyword::Par},
    {"par", Keyword::Par},
    {"pard", Keyword::Pard},
    {"pc", Keyword::Pc},
    {"pca", Keyword::Pca},
    {"pict", Keyword::SkipDestination},
    {"plain", Keyword::Plain},
    {"pn", Keyword::SkipDestination},
    {"pntxta", Keyword::SkipDestination},
    {"pntxtb", Keyword::SkipDestination},
    {"qc", Keyword::AlignCenter},
    {"qj", Keyword::AlignJustify},
    {"ql", Keyword::AlignLeft},
    {"qmspace", Keyword::QuarterEmSpace},
    {"qr", Keyword::AlignRight},
    {"rdblquote", Keyword::RightDoubleQuote},
    {"red", Keyword::Red},
    {"revtbl", Keyword::SkipDestination},
    {"row", Keyword::Par},
    {"rquote", Keyword::RightQuote},
    {"rsidtbl", Keyword::SkipDestination},
    {"sect", Keyword::Par},
    {"strike", Keyword::Strike},
    {"striked", Keyword::Strike},
    {"stylesheet", Keyword::SkipDestination},
    {"tab", Keyword::Tab},
    {"themedata", Keyword::SkipDestination},
    {"u", Keyword::Unicode},
    {"uc", Keyword::UnicodeSkip},
    {"ul", Keyword::Underline},
    {"uld", Keyword::Underline},
    {"uldash", Keyword::Underline},
    {"uldashd", Keyword::Underline},
    {"uldashdd", Keyword::Underline},
    {"uldb", Keyword::Underline},
    {"ulhwave", Keyword::Underline},
    {"ulnone", Keyword::UnderlineNone},
    {"ulth", Keyword::Underline},
    {"ulw", Keyword::Underline},
    {"ulwave", Keyword::Underline},
    {"xmlnstbl", Keyword::SkipDestination},
};

static_assert(std::ranges::is_sorted(kKeywords, {}, &KeywordEntry::name));

} // namespace

std::optional<Keyword> findKeyword(std::string_view name)
{
    const auto it = std::ranges::lower_bound(kKeywords, name, {}, &KeywordEntry::name);
    if (it == std::end(kKeywords) || it->name != name)
        return std::nullopt;
    return it->keyword;
}

} // namespace Rtf
