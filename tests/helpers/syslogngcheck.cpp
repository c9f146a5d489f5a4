#include "syslogngcheck.h"

#include "platform/process.h"
#include "testroot.h"

#include <QFile>

QString writeSyslogNgConfig(const TestRoot &root)
{
    QFile sample(QStringLiteral(QUOR_DATA_DIR "/syslog-ng/syslog-ng.conf"));
    if (!sample.open(QIODevice::ReadOnly)) {
        qFatal("cannot read %s", qPrintable(sample.fileName()));
    }
    QByteArray config = sample.readAll();
    config.replace("@include \"/etc/", "@include \"" + root.path().toUtf8() + "/etc/");
    root.writeFile(QStringLiteral("/test/syslog-ng.conf"), config);
    return root.placed(QStringLiteral("/test/syslog-ng.conf"));
}

bool syslogNgAccepts(const TestRoot &root, QString *errors)
{
    // Syntax checking writes nothing today; any state file would stay in the root.
    const Process::Result result = Process::run(QStringLiteral("syslog-ng"),
                                                {QStringLiteral("--syntax-only"),
                                                 QLatin1String("--cfgfile=") + writeSyslogNgConfig(root),
                                                 QLatin1String("--persist-file=") + root.placed(QStringLiteral("/test/syslog-ng.persist")),
                                                 QLatin1String("--pidfile=") + root.placed(QStringLiteral("/test/syslog-ng.pid")),
                                                 QLatin1String("--control=") + root.placed(QStringLiteral("/test/syslog-ng.ctl"))},
                                                30000);
    if (errors) {
        *errors = QString::fromUtf8(result.output);
    }
    return result.finished && result.exitCode == 0;
}
