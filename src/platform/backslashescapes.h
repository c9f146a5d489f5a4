#pragma once

#include <QChar>

#include <initializer_list>
#include <vector>

// The escapes of a text format that writes some characters as a backslash and
// a letter ('\n' as "\n"). One table serves writing and reading, so that what
// is written always reads back.
class BackslashEscapes
{
public:
    struct Escape {
        char16_t character;
        char16_t letter;
    };

    // No escape of a null character: null stands for "none" below.
    BackslashEscapes(std::initializer_list<Escape> escapes);

    // The letter written after a backslash for c; null when c has no escape.
    QChar letterOf(QChar c) const;
    // The character a backslash and this letter stand for; null when the letter is no escape.
    QChar characterOf(QChar letter) const;

private:
    std::vector<Escape> m_escapes;
};
