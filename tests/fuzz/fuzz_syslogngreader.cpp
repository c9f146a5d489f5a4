// The syslog-ng reader and the allowlist on what it reads. Nothing crashes or
// nests without bound; what the reader makes of a text, written back with
// single blanks, reads as the same statements; and whatever the allowlist
// accepts, syslog-ng reads as this reader does, where syslog-ng accepts it.
#include "platform/syslogngreader.h"
#include "platform/syslogngsubset.h"

#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace
{
const QString Path = QStringLiteral("/etc/syslog-ng/conf.d/fuzz.conf");

[[noreturn]] void fail(const char *what, const QByteArray &expected, const QByteArray &actual)
{
    std::fprintf(stderr, "syslog-ng reader: %s\n--- expected\n%s\n--- actual\n%s\n", what, expected.constData(), actual.constData());
    std::abort();
}

// What "syslog-ng --preprocess-into" makes of an accepted text, read by the
// reader; empty when syslog-ng refuses the text.
QByteArray asSyslogNgReadsIt(const QByteArray &text)
{
    QTemporaryDir dir;
    QFile main(dir.filePath(QStringLiteral("main.conf")));
    if (!main.open(QIODevice::WriteOnly) || main.write("@version: 3.38\n" + text) < 0) {
        return QByteArray();
    }
    main.close();
    const QString preprocessed = dir.filePath(QStringLiteral("preprocessed.conf"));
    QProcess syslogNg;
    syslogNg.setProcessChannelMode(QProcess::MergedChannels);
    syslogNg.start(QStringLiteral("/usr/sbin/syslog-ng"),
                   {QStringLiteral("--syntax-only"),
                    QLatin1String("--cfgfile=") + main.fileName(),
                    QLatin1String("--preprocess-into=") + preprocessed,
                    QLatin1String("--persist-file=") + dir.filePath(QStringLiteral("persist")),
                    QLatin1String("--pidfile=") + dir.filePath(QStringLiteral("pid")),
                    QLatin1String("--control=") + dir.filePath(QStringLiteral("ctl"))});
    if (!syslogNg.waitForFinished(30000) || syslogNg.exitCode() != 0 || syslogNg.readAll().contains("Error")) {
        return QByteArray();
    }
    QFile written(preprocessed);
    if (!written.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    SyslogNgReader::Options substituted;
    substituted.substituteLines = false;
    const SyslogNgReader::Config config = SyslogNgReader::read(preprocessed, written.readAll(), substituted);
    return config.ok ? SyslogNgReader::normalised(config) : QByteArray("unreadable: " + config.error.toUtf8());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const SyslogNgReader::Config config = SyslogNgReader::read(Path, input);
    const bool accepted = SyslogNgSubset::refusal(Path, input).isEmpty();
    if (!config.ok) {
        if (accepted) {
            fail("the allowlist accepted what the reader refuses", input, config.error.toUtf8());
        }
        return 0;
    }
    // Python code is kept as written and left out.
    bool python = false;
    for (const SyslogNgReader::Statement &statement : config.statements) {
        python = python || statement.kind == SyslogNgReader::Statement::Python;
    }
    const QByteArray normalised = SyslogNgReader::normalised(config);
    if (!python) {
        const SyslogNgReader::Config again = SyslogNgReader::read(Path, normalised);
        if (!again.ok || SyslogNgReader::normalised(again) != normalised) {
            fail("the statements written back read differently", normalised, again.ok ? SyslogNgReader::normalised(again) : again.error.toUtf8());
        }
    }
    if (accepted) {
        const QByteArray theirs = asSyslogNgReadsIt(input);
        if (!theirs.isEmpty() && theirs != normalised) {
            fail("syslog-ng reads an accepted text otherwise", theirs, normalised);
        }
    }
    return 0;
}
