#include "platform/process.h"

#include <KPluginMetaData>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// The Help button of the settings shell opens help:/ resolved against the
// plugin's "X-DocPath"; help:/ looks for handbooks under doc/HTML/<language>/ of
// the data directories. These tests install the handbook into a temporary prefix
// and ask the real help:/ worker for the page the button opens.
class HandbookTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid() && m_home.isValid());
        m_client = QStandardPaths::findExecutable(QString::fromLatin1(KIOCLIENT));
        QVERIFY2(!m_client.isEmpty(), KIOCLIENT " (kde-cli-tools) is missing");
        const Process::Result install =
            Process::run(QStringLiteral(CMAKE_COMMAND_PATH),
                         {QLatin1String("-DCMAKE_INSTALL_PREFIX=") + m_prefix.path(), QStringLiteral("-P"), QStringLiteral(DOC_INSTALL_SCRIPT)},
                         60000);
        QVERIFY2(install.finished && install.exitCode == 0, install.output.constData());

        const KPluginMetaData metaData(QStringLiteral(PLUGIN_PATH));
        QVERIFY(metaData.isValid());
        m_helpUrl = QUrl(QStringLiteral("help:/")).resolved(QUrl(metaData.value(QStringLiteral("X-DocPath"))));
    }

    void metadataNamesTheInstalledHandbook_data()
    {
        languages();
    }

    void metadataNamesTheInstalledHandbook()
    {
        QFETCH(QString, language);
        QCOMPARE(m_helpUrl.scheme(), QStringLiteral("help"));
        QCOMPARE(QFileInfo(m_helpUrl.path()).fileName(), QStringLiteral("index.html"));
        const QDir installed(handbookDir(language));
        QVERIFY2(installed.exists(QStringLiteral("index.cache.bz2")), qPrintable(installed.path()));
        QVERIFY(installed.exists(QStringLiteral("index.docbook")));
    }

    void helpShowsTheHandbook_data()
    {
        languages();
    }

    // In the language of the session.
    void helpShowsTheHandbook()
    {
        QFETCH(QString, language);
        const Process::Result page = fetch(m_helpUrl, language);
        QVERIFY2(page.finished && page.exitCode == 0, page.errorOutput.constData());
        // A missing handbook is a page too, titled "Documentation not Found".
        const QByteArray title = "<title>" + sourceTitle(language) + "</title>";
        QVERIFY2(page.output.contains(title), page.output.left(400).constData());
    }

    void helpShowsEveryScreenshot_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("image");
        for (const QString &language : Languages) {
            for (const QString &image : screenshots(language)) {
                QTest::newRow(qPrintable(language + QLatin1Char('/') + image)) << language << image;
            }
        }
    }

    void helpShowsEveryScreenshot()
    {
        QFETCH(QString, language);
        QFETCH(QString, image);
        const Process::Result served = fetch(m_helpUrl.resolved(QUrl(image)), language);
        QVERIFY2(served.finished && served.exitCode == 0, served.errorOutput.constData());
        QVERIFY(!served.output.isEmpty());
        QCOMPARE(served.output, readSource(language, image));
    }

    // A translation has the sections and the screenshots of the original, each
    // screenshot taken in its own language.
    void translationsMatchTheOriginal()
    {
        static const QRegularExpression id(QStringLiteral("<[a-z0-9]+ id=\"([^\"]+)\""));
        const QString original = source(Languages.first());
        for (const QString &language : Languages) {
            const QString translated = source(language);
            QCOMPARE(captures(id, translated), captures(id, original));
            QCOMPARE(screenshots(language), screenshots(Languages.first()));
            for (const QString &image : screenshots(language)) {
                QVERIFY2(!readSource(language, image).isEmpty(), qPrintable(language + QLatin1Char('/') + image));
                if (language != Languages.first()) {
                    QVERIFY2(readSource(language, image) != readSource(Languages.first(), image), qPrintable(image + QStringLiteral(" is the English one")));
                }
            }
        }
    }

    void noWordsRunTogether_data()
    {
        languages();
    }

    // An inline element or an entity written against a word ("events</filename>is")
    // shows them as one word.
    void noWordsRunTogether()
    {
        QFETCH(QString, language);
        static const QRegularExpression joined(QStringLiteral("(?:</(?:%1)>|&[a-z]+;)\\w|\\w<(?:%1)[ >]").arg(InlineElements));
        const QString text = source(language);
        QStringList places;
        auto matches = joined.globalMatch(text);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            places << text.mid(match.capturedStart() - 20, match.capturedLength() + 40);
        }
        QVERIFY2(places.isEmpty(), qPrintable(places.join(QStringLiteral("\n"))));
    }

    void interfaceTextsAreTheModules_data()
    {
        languages();
    }

    // Every label, button and menu entry the handbook names is one the interface
    // shows: a text of the catalogue, or of the settings shell and Qt's standard
    // buttons. A translation names, section by section, the translations of what
    // the original names.
    void interfaceTextsAreTheModules()
    {
        QFETCH(QString, language);
        const QMultiHash<QString, QString> catalogue = translations(language);
        const QMap<QString, QStringList> original = interfaceTexts(Languages.first());
        const QMap<QString, QStringList> named = interfaceTexts(language);
        QCOMPARE(named.keys(), original.keys());
        for (auto section = original.cbegin(); section != original.cend(); ++section) {
            QStringList left = named.value(section.key());
            for (const QString &text : section.value()) {
                QStringList shown = catalogue.values(text);
                for (const auto &[english, texts] : ShellTexts) {
                    if (text == english) {
                        shown << (language == Languages.first() ? QStringList{english} : texts);
                    }
                }
                QVERIFY2(!shown.isEmpty(), qPrintable(QStringLiteral("\"%1\" is no text of the interface").arg(text)));
                const auto found = std::find_if(left.begin(), left.end(), [&shown](const QString &candidate) {
                    return shown.contains(candidate);
                });
                QVERIFY2(found != left.end(),
                         qPrintable(QStringLiteral("%1: \"%2\" (%3) is missing among %4")
                                        .arg(section.key(), text, shown.join(QLatin1Char('|')), left.join(QLatin1Char('|')))));
                left.erase(found);
            }
            QVERIFY2(left.isEmpty(), qPrintable(section.key() + QStringLiteral(": not in the original: ") + left.join(QLatin1Char('|'))));
        }
    }

private:
    // English first: the original.
    static inline const QStringList Languages{QStringLiteral("en"), QStringLiteral("ru")};
    static inline const QString InlineElements = QStringLiteral(
        "filename|guilabel|guibutton|guimenuitem|guimenu|literal|command|option|userinput|replaceable|emphasis|quote|application|envar|systemitem|keycap");
    // Texts the handbook names that the settings shell and Qt's standard buttons
    // show, in Russian as their own catalogues translate them: the shell's OK is
    // "ОК" in Cyrillic, that of Qt's button boxes "OK" in Latin letters.
    static inline const std::vector<std::pair<QString, QStringList>> ShellTexts{
        {QStringLiteral("OK"), {QStringLiteral("OK"), QStringLiteral("ОК")}},
        {QStringLiteral("Cancel"), {QStringLiteral("Отмена")}},
        {QStringLiteral("Apply"), {QStringLiteral("Применить")}},
        {QStringLiteral("Reset"), {QStringLiteral("Сбросить")}},
        {QStringLiteral("Help"), {QStringLiteral("Справка")}},
        {QStringLiteral("Yes"), {QStringLiteral("Да")}},
        {QStringLiteral("No"), {QStringLiteral("Нет")}},
        // The add and remove buttons, which show icons.
        {QStringLiteral("+"), {QStringLiteral("+")}},
        {QStringLiteral("−"), {QStringLiteral("−")}},
    };

    static void languages()
    {
        QTest::addColumn<QString>("language");
        for (const QString &language : Languages) {
            QTest::newRow(qPrintable(language)) << language;
        }
    }

    QString handbookDir(const QString &language) const
    {
        return m_prefix.path() + QLatin1String("/" DATA_ROOT_DIR "/doc/HTML/") + language + QFileInfo(m_helpUrl.path()).path();
    }

    // The original in doc/, a translation where KDE keeps them: po/<lang>/docs/<the same folder>.
    QString sourcePath(const QString &language, const QString &name) const
    {
        if (language == Languages.first()) {
            return QStringLiteral(DOC_SOURCE_DIR "/") + name;
        }
        return QStringLiteral(PO_SOURCE_DIR "/") + language + QLatin1String("/docs") + QFileInfo(m_helpUrl.path()).path() + QLatin1Char('/') + name;
    }

    QByteArray readSource(const QString &language, const QString &name) const
    {
        QFile file(sourcePath(language, name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString source(const QString &language) const
    {
        return QString::fromUtf8(readSource(language, QStringLiteral("index.docbook")));
    }

    QByteArray sourceTitle(const QString &language) const
    {
        static const QRegularExpression title(QStringLiteral("<title>([^<]+)</title>"));
        return title.match(source(language)).captured(1).toUtf8();
    }

    static QStringList captures(const QRegularExpression &expression, const QString &text)
    {
        QStringList found;
        auto matches = expression.globalMatch(text);
        while (matches.hasNext()) {
            found << matches.next().captured(1);
        }
        return found;
    }

    QStringList screenshots(const QString &language) const
    {
        static const QRegularExpression fileRef(QStringLiteral("fileref=\"([^\"]+)\""));
        return captures(fileRef, source(language));
    }

    // What a label shows, without its accelerator mark.
    static QString shown(QString text)
    {
        static const QRegularExpression mark(QStringLiteral("&(?!&)"));
        return text.remove(mark).replace(QLatin1String("&&"), QLatin1String("&")).simplified();
    }

    // The labels, buttons and menu entries named in each section (by its id).
    QMap<QString, QStringList> interfaceTexts(const QString &language) const
    {
        static const QRegularExpression section(QStringLiteral("<sect1 id=\"([^\"]+)\">(.*?)</sect1>"), QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression element(QStringLiteral("<(guilabel|guibutton|guimenuitem)>(.*?)</\\1>"),
                                                QRegularExpression::DotMatchesEverythingOption);
        QMap<QString, QStringList> texts;
        auto sections = section.globalMatch(source(language));
        while (sections.hasNext()) {
            const QRegularExpressionMatch match = sections.next();
            QStringList named;
            auto elements = element.globalMatch(match.captured(2));
            while (elements.hasNext()) {
                named << elements.next().captured(2).simplified();
            }
            texts.insert(match.captured(1), named);
        }
        return texts;
    }

    // The module's texts and what the language's catalogue shows for them (the
    // original: the texts themselves), without accelerator marks.
    static QMultiHash<QString, QString> translations(const QString &language)
    {
        QMultiHash<QString, QString> texts;
        QFile file(QStringLiteral(PO_SOURCE_DIR "/ru/quor-admin-events.po"));
        if (!file.open(QIODevice::ReadOnly)) {
            return texts;
        }
        // Entries of "msgid" and "msgstr" with their continuation lines.
        static const QRegularExpression entry(QStringLiteral("^msgid ((?:\".*\"\\n)+)(?:msgid_plural (?:\".*\"\\n)+)?msgstr(?:\\[0\\])? ((?:\".*\"\\n)+)"),
                                              QRegularExpression::MultilineOption);
        static const QRegularExpression quoted(QStringLiteral("\"(.*)\""));
        const auto joined = [](const QString &lines) {
            QString text;
            auto parts = quoted.globalMatch(lines);
            while (parts.hasNext()) {
                text += parts.next().captured(1);
            }
            return text.replace(QLatin1String("\\\""), QLatin1String("\"")).replace(QLatin1String("\\n"), QLatin1String("\n"));
        };
        auto entries = entry.globalMatch(QString::fromUtf8(file.readAll()));
        while (entries.hasNext()) {
            const QRegularExpressionMatch match = entries.next();
            const QString original = shown(joined(match.captured(1)));
            if (!original.isEmpty()) {
                texts.insert(original, language == Languages.first() ? original : shown(joined(match.captured(2))));
            }
        }
        return texts;
    }

    // What help:/ serves for url in a session of the language when the temporary
    // prefix is the first data directory before the system's (which hold the help
    // pages' stylesheets).
    Process::Result fetch(const QUrl &url, const QString &language) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LANGUAGE"), language);
        environment.insert(QStringLiteral("XDG_DATA_DIRS"), m_prefix.path() + QLatin1String("/" DATA_ROOT_DIR ":/usr/local/share:/usr/share"));
        // The worker keeps caches and settings in the home folders: not in the host's.
        for (const char *name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            environment.insert(QString::fromLatin1(name), m_home.path() + QLatin1Char('/') + QString::fromLatin1(name));
        }
        return Process::run(m_client, {QStringLiteral("cat"), url.toString()}, 60000, Process::Channels::Separate, environment);
    }

    QTemporaryDir m_prefix;
    QTemporaryDir m_home;
    QString m_client;
    QUrl m_helpUrl;
};

QTEST_GUILESS_MAIN(HandbookTest)
#include "handbooktest.moc"
