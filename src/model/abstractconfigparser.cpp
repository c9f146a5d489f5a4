#include "abstractconfigparser.h"

#include "modellog.h"

#include "platform/textdecode.h"

#include <KLocalizedString>

AbstractConfigParser::AbstractConfigParser(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
{
}

AbstractConfigParser::~AbstractConfigParser() = default;

QString AbstractConfigParser::readFile(qint64 maxSize)
{
    m_error.clear();
    m_damaged = false;
    const FileRead::Result read = FileRead::regular(m_path, maxSize);
    m_stamp = read.missing ? FileStamp::missing() : read.ok ? FileStamp::ofRead(m_path, read.data) : FileStamp();
    if (read.missing) {
        m_error = read.error;
        return QString();
    }
    if (!read.ok) {
        markDamaged(read.error);
        return QString();
    }
    QString text;
    QString reason;
    if (!TextDecode::utf8(read.data, &text, &reason)) {
        markDamaged(reason);
        return QString();
    }
    if (text.isEmpty()) {
        m_error = i18n("Bad config file");
    }
    return text;
}

QString AbstractConfigParser::errorString() const
{
    return m_error;
}

void AbstractConfigParser::setErrorString(const QString &text)
{
    m_error = text;
}

QString AbstractConfigParser::filePath() const
{
    return m_path;
}

bool AbstractConfigParser::damaged() const
{
    return m_damaged;
}

void AbstractConfigParser::addProblem(const QString &text)
{
    qCWarning(QUOR_MODEL).noquote() << text;
    if (!m_error.isEmpty()) {
        m_error += QLatin1Char('\n');
    }
    m_error += text;
}

void AbstractConfigParser::markDamaged(const QString &reason)
{
    m_damaged = true;
    addProblem(m_path + QLatin1String(": ") + reason);
}
