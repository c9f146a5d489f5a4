#include "jsontext.h"

#include <QSet>

#include <cctype>

namespace
{
// Deeper than Qt's reader accepts: the text is not one it read.
constexpr int MaxDepth = 2048;

class Scanner
{
public:
    explicit Scanner(const QByteArray &json)
        : m_at(json.constData())
        , m_end(json.constData() + json.size())
    {
    }

    JsonText::Scan scan()
    {
        value(QString(), QString(), true, 0);
        return m_ok ? m_result : JsonText::Scan();
    }

private:
    void skipSpace()
    {
        while (m_at < m_end && (*m_at == ' ' || *m_at == '\t' || *m_at == '\n' || *m_at == '\r')) {
            ++m_at;
        }
    }

    bool expect(char c)
    {
        skipSpace();
        if (m_at >= m_end || *m_at != c) {
            m_ok = false;
            return false;
        }
        ++m_at;
        return true;
    }

    // A string; decoded only when wanted (keys).
    QString string(bool decode)
    {
        if (!expect('"')) {
            return QString();
        }
        QString text;
        const char *run = m_at;
        const auto flush = [&] {
            if (decode && m_at > run) {
                text += QString::fromUtf8(run, int(m_at - run));
            }
        };
        while (m_at < m_end && *m_at != '"') {
            if (*m_at != '\\') {
                ++m_at;
                continue;
            }
            flush();
            if (m_end - m_at < 2) {
                m_ok = false;
                return QString();
            }
            const char escaped = m_at[1];
            m_at += 2;
            if (escaped == 'u') {
                if (m_end - m_at < 4) {
                    m_ok = false;
                    return QString();
                }
                bool hex = false;
                const ushort unit = QByteArray(m_at, 4).toUShort(&hex, 16);
                m_ok = m_ok && hex;
                text += QChar(unit);
                m_at += 4;
            } else {
                static const QHash<char, QChar> simple{{'"', QLatin1Char('"')},
                                                       {'\\', QLatin1Char('\\')},
                                                       {'/', QLatin1Char('/')},
                                                       {'b', QLatin1Char('\b')},
                                                       {'f', QLatin1Char('\f')},
                                                       {'n', QLatin1Char('\n')},
                                                       {'r', QLatin1Char('\r')},
                                                       {'t', QLatin1Char('\t')}};
                const auto it = simple.constFind(escaped);
                m_ok = m_ok && it != simple.cend();
                text += it == simple.cend() ? QChar() : *it;
            }
            run = m_at;
        }
        flush();
        if (m_at >= m_end) {
            m_ok = false;
            return QString();
        }
        ++m_at;
        return text;
    }

    void record(bool recorded, const QString &path, const char *start)
    {
        if (recorded) {
            m_result.literals.insert(path, QString::fromUtf8(start, int(m_at - start)));
        }
    }

    // One value; whether a number is in it. Values inside arrays have no path
    // of their own and are not recorded.
    bool value(const QString &path, const QString &shown, bool recorded, int depth)
    {
        skipSpace();
        if (!m_ok || m_at >= m_end || depth > MaxDepth) {
            m_ok = false;
            return false;
        }
        const char *start = m_at;
        switch (*m_at) {
        case '{':
            return object(path, shown, recorded, depth);
        case '[': {
            ++m_at;
            bool number = false;
            skipSpace();
            if (m_at < m_end && *m_at == ']') {
                ++m_at;
                return false;
            }
            do {
                number = value(QString(), shown, false, depth + 1) || number;
            } while (m_ok && skipSeparator(']'));
            if (number) {
                record(recorded, path, start);
            }
            return number;
        }
        case '"':
            string(false);
            return false;
        default:
            break;
        }
        while (m_at < m_end && (std::isalnum(uchar(*m_at)) || *m_at == '-' || *m_at == '+' || *m_at == '.')) {
            ++m_at;
        }
        const QByteArray word(start, int(m_at - start));
        if (word.isEmpty()) {
            m_ok = false;
            return false;
        }
        if (word == "true" || word == "false") {
            return false;
        }
        record(recorded, path, start);
        return word != "null";
    }

    bool object(const QString &path, const QString &shown, bool recorded, int depth)
    {
        const char *start = m_at;
        ++m_at;
        skipSpace();
        if (m_at < m_end && *m_at == '}') {
            ++m_at;
            record(recorded, path, start);
            return false;
        }
        bool number = false;
        QSet<QString> keys;
        do {
            const QString key = string(true);
            if (!expect(':')) {
                return false;
            }
            const QString keyShown = shown.isEmpty() ? key : shown + QLatin1Char('/') + key;
            if (keys.contains(key)) {
                if (!m_result.duplicateKeys.contains(keyShown)) {
                    m_result.duplicateKeys.append(keyShown);
                }
            } else {
                keys.insert(key);
            }
            number = value(recorded ? JsonText::pathKey(path, key) : QString(), keyShown, recorded, depth + 1) || number;
        } while (m_ok && skipSeparator('}'));
        return number;
    }

    // After a member or an element: true at a comma, false at the closing
    // character (consumed), a failure at anything else.
    bool skipSeparator(char closing)
    {
        skipSpace();
        if (m_at < m_end && *m_at == ',') {
            ++m_at;
            return true;
        }
        if (m_at < m_end && *m_at == closing) {
            ++m_at;
            return false;
        }
        m_ok = false;
        return false;
    }

    const char *m_at;
    const char *m_end;
    bool m_ok = true;
    JsonText::Scan m_result;
};
} // namespace

namespace JsonText
{
Scan scan(const QByteArray &json)
{
    return Scanner(json).scan();
}

QString pathKey(const QString &parent, const QString &key)
{
    return parent + QString::number(key.size()) + QLatin1Char(':') + key;
}

QString shownText(const QString &literal)
{
    return literal == QLatin1String("null") || literal.startsWith(QLatin1Char('{')) ? QString() : literal;
}
}
