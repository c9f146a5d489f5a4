#include "datalanguage.h"

#include <KLocalizedString>

#include <QJsonObject>
#include <QRegularExpression>

namespace
{
const QString English = QStringLiteral("en");

// "ru" for "ru_RU", "sr" for "sr@latin".
QString withoutCountry(const QString &language)
{
    const int cut = language.indexOf(QRegularExpression(QStringLiteral("[_@.]")));
    return cut < 0 ? language : language.left(cut);
}
} // namespace

namespace DataLanguage
{
QString choose(const QStringList &languages, const QStringList &translated)
{
    for (const QString &language : languages) {
        for (const QString &candidate : {language, withoutCountry(language)}) {
            if (candidate == English || translated.contains(candidate)) {
                return candidate;
            }
        }
    }
    return English;
}

const QString &code()
{
    static const QString chosen = choose(KLocalizedString::languages(), KLocalizedString::availableDomainTranslations(TRANSLATION_DOMAIN).values());
    return chosen;
}

const QStringList &lookupOrder()
{
    static const QStringList order = [] {
        QStringList codes{code(), withoutCountry(code()), English};
        codes.removeDuplicates();
        return codes;
    }();
    return order;
}

QString text(const QJsonObject &texts, const QString &prefix)
{
    for (const QString &language : lookupOrder()) {
        const QJsonValue value = texts.value(prefix + language);
        if (value.isString()) {
            return value.toString();
        }
    }
    return QString();
}
} // namespace DataLanguage
