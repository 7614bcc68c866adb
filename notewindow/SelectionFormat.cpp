#include "notewindow/SelectionFormat.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace {

QTextCharFormat firstSelectedFormat(const QTextEdit &editor)
{
    const QTextCursor cursor = editor.textCursor();
    if (!cursor.hasSelection())
        return editor.currentCharFormat();
    // A cursor reports the character before it.
    QTextCursor first(editor.document());
    first.setPosition(cursor.selectionStart() + 1);
    return first.charFormat();
}

QFont resolvedFont(const QTextEdit &editor, const QTextCharFormat &format)
{
    QFont font = format.font().resolve(editor.document()->defaultFont());
    const QStringList families = format.fontFamilies().toStringList();
    if (!families.isEmpty())
        font.setFamilies(families);
    return font;
}

TextStyles stylesOf(const QFont &font)
{
    TextStyles styles;
    styles.setFlag(TextStyle::Bold, font.weight() >= QFont::DemiBold);
    styles.setFlag(TextStyle::Italic, font.italic());
    styles.setFlag(TextStyle::Underline, font.underline());
    styles.setFlag(TextStyle::StrikeOut, font.strikeOut());
    return styles;
}

void putStyles(QTextCharFormat &change, TextStyles styles)
{
    change.setFontWeight(styles.testFlag(TextStyle::Bold) ? QFont::Bold : QFont::Normal);
    change.setFontItalic(styles.testFlag(TextStyle::Italic));
    change.setFontUnderline(styles.testFlag(TextStyle::Underline));
    change.setFontStrikeOut(styles.testFlag(TextStyle::StrikeOut));
}

} // namespace

TextStyles selectionStyle(const QTextEdit &editor)
{
    return stylesOf(resolvedFont(editor, firstSelectedFormat(editor)));
}

ToolkitFont selectionFont(const QTextEdit &editor)
{
    const QTextCharFormat format = firstSelectedFormat(editor);
    ToolkitFont font;
    font.font = resolvedFont(editor, format);
    const QBrush foreground = format.foreground();
    font.color = fromQColor(foreground.style() == Qt::NoBrush ? editor.palette().color(QPalette::Text)
                                                              : foreground.color());
    return font;
}

void setSelectionStyle(QTextEdit &editor, TextStyles styles)
{
    QTextCharFormat change;
    putStyles(change, styles);
    editor.mergeCurrentCharFormat(change);
}

void setSelectionFont(QTextEdit &editor, const ToolkitFont &font)
{
    QTextCharFormat change;
    change.setFontFamilies(QStringList{font.font.family()});
    putStyles(change, stylesOf(font.font));
    if (font.font.pointSizeF() > 0)
        change.setFontPointSize(font.font.pointSizeF());
    change.setForeground(toQColor(font.color));
    editor.mergeCurrentCharFormat(change);
}
