#include "backslashescapes.h"

#include <algorithm>

BackslashEscapes::BackslashEscapes(std::initializer_list<Escape> escapes)
    : m_escapes(escapes)
{
}

QChar BackslashEscapes::letterOf(QChar c) const
{
    const auto it = std::find_if(m_escapes.cbegin(), m_escapes.cend(), [c](const Escape &escape) {
        return escape.character == c.unicode();
    });
    return it == m_escapes.cend() ? QChar() : QChar(it->letter);
}

QChar BackslashEscapes::characterOf(QChar letter) const
{
    const auto it = std::find_if(m_escapes.cbegin(), m_escapes.cend(), [letter](const Escape &escape) {
        return escape.letter == letter.unicode();
    });
    return it == m_escapes.cend() ? QChar() : QChar(it->character);
}
