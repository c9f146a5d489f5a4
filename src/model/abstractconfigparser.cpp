#include "abstractconfigparser.h"

#include <KLocalizedString>

#include <QFile>

AbstractConfigParser::AbstractConfigParser(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
{
}

AbstractConfigParser::~AbstractConfigParser() = default;

QString AbstractConfigParser::readFile()
{
    m_error.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = file.errorString();
        return QString();
    }
    const QByteArray bytes = file.readAll();
    // A null byte ends the text.
    const QString text = QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(), size_t(bytes.size()))));
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
