#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// What the notes manager's search field asks for: the words typed, each of
// which must occur in a note, ignoring letter case and the difference
// between full-width and half-width forms. Chinese needs no spaces, since
// a word is found anywhere inside the text.
class NoteSearch
{
public:
    explicit NoteSearch(const QString &typed = QString());

    // Nothing typed but blanks: every note matches.
    bool isEmpty() const { return m_words.isEmpty(); }

    // Every word occurs in the folded text. A note's texts are joined by
    // line breaks, so that no word runs from one into the next.
    bool matches(const QString &foldedText) const;

    // Where the words occur in text (not folded), as start and length in
    // text, in order and not overlapping.
    QList<std::pair<qsizetype, qsizetype>> occurrences(const QString &text) const;

    // text in the form words are compared in: compatibility forms (full-width
    // letters, digits and spaces) as their plain ones, case folded.
    static QString fold(const QString &text);

private:
    QStringList m_words;
};
