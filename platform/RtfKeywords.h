#pragma once

#include <QtGlobal>

#include <optional>
#include <string_view>

namespace Rtf {

// The control words the reader acts on; every other word is ignored.
enum class Keyword : quint8 {
    Ansi, Mac, Pc, Pca, AnsiCodePage, DefaultFont,
    FontTable, ColorTable, SkipDestination,
    Font, Charset, FontCodePage,
    Red, Green, Blue,
    Plain, FontSize, Bold, Italic, Underline, UnderlineNone, Strike, Foreground, Background,
    Pard, Par, Line, Tab, AlignLeft, AlignCenter, AlignRight, AlignJustify,
    Unicode, UnicodeSkip,
    EmDash, EnDash, Bullet, LeftQuote, RightQuote, LeftDoubleQuote, RightDoubleQuote,
    EmSpace, EnSpace, QuarterEmSpace,
};

std::optional<Keyword> findKeyword(std::string_view name);

} // namespace Rtf
