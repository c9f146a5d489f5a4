#include "syslogngcheck.h"

#include "platform/configcheck.h"
#include "testroot.h"

#include <QFile>

QString writeSyslogNgConfig(const TestRoot &root)
{
    QFile sample(QStringLiteral(QUOR_DATA_DIR "/syslog-ng/syslog-ng.conf"));
    if (!sample.open(QIODevice::ReadOnly)) {
        qFatal("cannot read %s", qPrintable(sample.fileName()));
    }
    QByteArray config = sample.readAll();
    config.replace("@include \"/etc/", QByteArray("@include \"" + root.path().toUtf8() + "/etc/"));
    root.writeFile(QStringLiteral("/test/syslog-ng.conf"), config);
    return root.placed(QStringLiteral("/test/syslog-ng.conf"));
}

bool syslogNgAccepts(const TestRoot &root, QString *errors)
{
    const ConfigCheck::Result check = ConfigCheck::syslogNg(root.placed(QStringLiteral("/etc/syslog-ng/conf.d")));
    if (errors) {
        *errors = check.message;
    }
    return check.accepted;
}
