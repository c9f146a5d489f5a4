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

    void metadataNamesTheInstalledHandbook()
    {
        QCOMPARE(m_helpUrl.scheme(), QStringLiteral("help"));
        QCOMPARE(QFileInfo(m_helpUrl.path()).fileName(), QStringLiteral("index.html"));
        const QDir installed(handbookDir());
        QVERIFY2(installed.exists(QStringLiteral("index.cache.bz2")), qPrintable(installed.path()));
        QVERIFY(installed.exists(QStringLiteral("index.docbook")));
    }

    void helpShowsTheHandbook()
    {
        const Process::Result page = fetch(m_helpUrl);
        QVERIFY2(page.finished && page.exitCode == 0, page.errorOutput.constData());
        // A missing handbook is a page too, titled "Documentation not Found".
        QVERIFY2(page.output.contains(QByteArray("<title>" + sourceTitle() + "</title>")), page.output.left(400).constData());
    }

    void helpShowsEveryScreenshot_data()
    {
        QTest::addColumn<QString>("image");
        static const QRegularExpression fileRef(QStringLiteral("fileref=\"([^\"]+)\""));
        auto matches = fileRef.globalMatch(QString::fromUtf8(readSource(QStringLiteral("index.docbook"))));
        while (matches.hasNext()) {
            const QString image = matches.next().captured(1);
            QTest::newRow(qPrintable(image)) << image;
        }
    }

    void helpShowsEveryScreenshot()
    {
        QFETCH(QString, image);
        const Process::Result served = fetch(m_helpUrl.resolved(QUrl(image)));
        QVERIFY2(served.finished && served.exitCode == 0, served.errorOutput.constData());
        QVERIFY(!served.output.isEmpty());
        QCOMPARE(served.output, readSource(image));
    }

private:
    QString handbookDir() const
    {
        return m_prefix.path() + QLatin1String("/" DATA_ROOT_DIR "/doc/HTML/en") + QFileInfo(m_helpUrl.path()).path();
    }

    static QByteArray readSource(const QString &name)
    {
        QFile file(QStringLiteral(DOC_SOURCE_DIR "/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QByteArray sourceTitle()
    {
        static const QRegularExpression title(QStringLiteral("<title>([^<]+)</title>"));
        return title.match(QString::fromUtf8(readSource(QStringLiteral("index.docbook")))).captured(1).toUtf8();
    }

    // What help:/ serves for url when the temporary prefix is the first data
    // directory before the system's (which hold the help pages' stylesheets).
    Process::Result fetch(const QUrl &url) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
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
