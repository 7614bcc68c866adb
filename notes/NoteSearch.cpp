#include "notes/NoteSearch.h"

#include <QRegularExpression>
#include <QStringView>

#include <algorithm>

namespace {

// Folds text one code point at a time, so that every folded character can
// be traced back to where it came from; origins, when given, receives the
// start in text of each folded character's code point.
QString foldTraced(const QString &text, QList<qsizetype> *origins)
{
    QString folded;
    folded.reserve(text.size());
    if (origins)
        origins->reserve(text.size());
    qsizetype at = 0;
    while (at < text.size()) {
        const QChar c = text.at(at);
        const qsizetype width = (c.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) ? 2 : 1;
        const char32_t code = width == 2 ? QChar::surrogateToUcs4(c, text.at(at + 1)) : c.unicode();
        // Most characters, Chinese among them, have no compatibility form;
        // they are folded alone, without normalising each one.
        if (QChar::decompositionTag(code) == QChar::NoDecomposition) {
            const char32_t plain = QChar::toCaseFolded(code);
            const qsizetype before = folded.size();
            if (QChar::requiresSurrogates(plain)) {
                folded.append(QChar(QChar::highSurrogate(plain)));
                folded.append(QChar(QChar::lowSurrogate(plain)));
            } else {
                folded.append(QChar(char16_t(plain)));
            }
            if (origins)
                origins->insert(origins->size(), folded.size() - before, at);
        } else {
            const QString piece = QStringView(text.constData() + at, width)
                                      .toString()
                                      .normalized(QString::NormalizationForm_KC)
                                      .toCaseFolded();
            folded += piece;
            if (origins)
                origins->insert(origins->size(), piece.size(), at);
        }
        at += width;
    }
    return folded;
}

} // namespace

NoteSearch::NoteSearch(const QString &typed)
    : m_words(fold(typed).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
{
}

QString NoteSearch::fold(const QString &text)
{
    return foldTraced(text, nullptr);
}

bool NoteSearch::matches(const QString &foldedText) const
{
    return std::all_of(m_words.cbegin(), m_words.cend(),
                       [&foldedText](const QString &word) { return foldedText.contains(word); });
}

QList<std::pair<qsizetype, qsizetype>> NoteSearch::occurrences(const QString &text) const
{
    QList<qsizetype> origins;
    const QString folded = foldTraced(text, &origins);
    // Marks every folded character inside an occurrence of some word.
    QList<bool> marked(folded.size(), false);
    for (const QString &word : m_words) {
        for (qsizetype at = folded.indexOf(word); at >= 0; at = folded.indexOf(word, at + 1))
            std::fill(marked.begin() + at, marked.begin() + at + word.size(), true);
    }
    QList<std::pair<qsizetype, qsizetype>> spans;
    qsizetype i = 0;
    while (i < folded.size()) {
        if (!marked.at(i)) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < folded.size() && marked.at(end))
            ++end;
        const qsizetype start = origins.at(i);
        // The span ends where the code point after the last marked one starts.
        qsizetype stop = text.size();
        if (end < folded.size())
            stop = origins.at(end);
        if (stop > start)
            spans.append({start, stop - start});
        i = end;
    }
    return spans;
}
