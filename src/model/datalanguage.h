#pragma once

#include <QString>
#include <QStringList>

class QJsonObject;

// The language of the texts that come with the data (event and group names,
// the dictionary's names): the interface's language, so that the page never
// mixes two. English is the data's own language and the last resort.
namespace DataLanguage
{
// The first of the languages in order of preference that is English or has a
// translation: "ru" for "ru_RU" when only "ru" is translated. "en" when none is.
QString choose(const QStringList &languages, const QStringList &translated);

// choose() over KLocalizedString's languages and this module's catalogues;
// decided once per process.
const QString &code();

// The codes to look data texts up by, in order: the data language, the same
// without country, English.
const QStringList &lookupOrder();

// The text under prefix + the data language (its full code, then its code
// without country), else under prefix + "en"; empty when the object has
// neither as a string.
QString text(const QJsonObject &texts, const QString &prefix);
}
