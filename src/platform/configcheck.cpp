#include "configcheck.h"

#include "fileread.h"
#include "paths.h"
#include "process.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace ConfigCheck
{
namespace
{
constexpr int CheckTimeoutMs = 30000;
const QLatin1String MainSyslogNgConfig("/etc/syslog-ng/syslog-ng.conf");

// The system's main configuration with its include of the system's folder
// pointed at confDir. Read through the guard: a FIFO, a device, a folder, a
// link loop or a file that is not text is a problem (empty result), never a
// made-up configuration; only a missing file gets the minimal one.
QByteArray mainConfiguration(const QString &confDir, QString *problem)
{
    const QByteArray include = "@include \"" + confDir.toUtf8() + "/*.conf\"";
    const FileRead::Text main = FileRead::text(Paths::placed(MainSyslogNgConfig), FileRead::ConfigLimit);
    if (main.missing) {
        return "@version: current\n" + include + '\n';
    }
    if (!main.ok) {
        *problem = MainSyslogNgConfig + QLatin1String(": ") + main.error;
        return QByteArray();
    }
    QByteArray text = main.text.toUtf8();
    const QByteArray systemInclude = "@include \"" + QByteArray(Paths::SyslogNgConfDir.data()) + "/*.conf\"";
    if (text.contains(systemInclude)) {
        text.replace(systemInclude, include);
    } else {
        text += '\n' + include + '\n';
    }
    return text;
}

// The configuration with comments dropped and every quoted string emptied, so
// that neither can look like a statement or a brace.
QString withoutCommentsAndStrings(const QByteArray &configuration)
{
    const QString text = QString::fromUtf8(configuration);
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('#')) {
            while (i < text.size() && text.at(i) != QLatin1Char('\n')) {
                ++i;
            }
            out += QLatin1Char('\n');
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            // Double quotes allow escapes; single quotes do not.
            ++i;
            while (i < text.size() && text.at(i) != c) {
                if (c == QLatin1Char('"') && text.at(i) == QLatin1Char('\\')) {
                    ++i;
                }
                ++i;
            }
            out += c;
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

// Brace depth before each position of text.
std::vector<int> braceDepths(const QString &text)
{
    std::vector<int> depths(size_t(text.size()) + 1, 0);
    int depth = 0;
    for (int i = 0; i < text.size(); ++i) {
        depths[size_t(i)] = depth;
        if (text.at(i) == QLatin1Char('{')) {
            ++depth;
        } else if (text.at(i) == QLatin1Char('}') && depth > 0) {
            --depth;
        }
    }
    depths[size_t(text.size())] = depth;
    return depths;
}

// The kinds of object a log statement refers to by name.
const QString ObjectKinds = QStringLiteral("source|destination|filter|parser|rewrite");
const QString ObjectName = QStringLiteral("[A-Za-z0-9_.-]+");

QStringList logRotateErrors(const QByteArray &output)
{
    QStringList errors;
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("error:")) {
            errors << QString::fromUtf8(line);
        }
    }
    return errors;
}

// The logrotate file with each log path of its blocks placed under the system root.
QByteArray withPlacedLogPaths(const QByteArray &text)
{
    QByteArray out;
    int depth = 0;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (depth == 0 && !line.trimmed().startsWith('#')) {
            QList<QByteArray> words = line.split(' ');
            for (QByteArray &word : words) {
                const bool quoted = word.startsWith('"');
                if (word.mid(quoted ? 1 : 0).startsWith('/')) {
                    word.insert(quoted ? 1 : 0, Paths::systemRoot().toUtf8());
                }
            }
            line = words.join(' ');
        }
        depth += line.count('{') - line.count('}');
        out += line;
        if (i + 1 < lines.size()) {
            out += '\n';
        }
    }
    return out;
}

Result fromProcess(const Process::Result &result, const QString &command)
{
    Result check;
    check.accepted = result.finished && result.exitCode == 0;
    check.message = QString::fromUtf8(result.output).trimmed();
    if (!result.started) {
        check.message = i18n("%1: could not be started", command);
    } else if (!result.finished) {
        check.message = i18n("%1: no answer within the time limit", command) + QLatin1Char('\n') + check.message;
    }
    return check;
}

// A scratch file only the check reads, in a folder of its own: written
// plainly, without the wait for the disk that replacing a system file takes.
bool writeScratch(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.flush()) {
        return true;
    }
    *error = file.errorString();
    return false;
}
}

Result syslogNg(const QString &confDir)
{
    // The check runs in a folder of its own so that it never touches the
    // running daemon's persist, pid or control files.
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        return {false, i18n("syslog-ng check: no temporary folder: %1", scratch.errorString())};
    }
    if (const QStringList problems = includeFolderProblems(confDir); !problems.isEmpty()) {
        return {false, problems.join(QLatin1Char('\n'))};
    }
    QString problem;
    const QByteArray configuration = mainConfiguration(confDir, &problem);
    if (!problem.isEmpty()) {
        return {false, i18n("syslog-ng check: %1", problem)};
    }
    const QString config = scratch.filePath(QStringLiteral("syslog-ng.conf"));
    QString error;
    if (!writeScratch(config, configuration, &error)) {
        return {false, QLatin1String("syslog-ng check: ") + error};
    }
    const QString command = QStringLiteral("syslog-ng --syntax-only");
    const QString preprocessed = scratch.filePath(QStringLiteral("preprocessed.conf"));
    Result check = fromProcess(Process::run(QStringLiteral("syslog-ng"),
                                            {QStringLiteral("--syntax-only"),
                                             QLatin1String("--cfgfile=") + config,
                                             QLatin1String("--preprocess-into=") + preprocessed,
                                             QLatin1String("--persist-file=") + scratch.filePath(QStringLiteral("syslog-ng.persist")),
                                             QLatin1String("--pidfile=") + scratch.filePath(QStringLiteral("syslog-ng.pid")),
                                             QLatin1String("--control=") + scratch.filePath(QStringLiteral("syslog-ng.ctl"))},
                                            CheckTimeoutMs),
                               command);
    if (!check.accepted) {
        return check;
    }
    // The configuration as syslog-ng will run it: every include read.
    QFile expanded(preprocessed);
    if (!expanded.open(QIODevice::ReadOnly)) {
        return {false, QLatin1String("syslog-ng check: ") + expanded.errorString()};
    }
    QStringList missing = undefinedLogReferences(expanded.readAll());
    for (QString &reference : missing) {
        // Worded like the tool's own messages, which are not translated either.
        reference = QStringLiteral("A log statement names %1, which is not defined.").arg(reference);
    }
    if (!missing.isEmpty()) {
        return {false, missing.join(QLatin1Char('\n'))};
    }
    return check;
}

QStringList includeFolderProblems(const QString &placedDir)
{
    QStringList problems;
    const QDir dir(placedDir);
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat status;
        QString reason;
        if (::stat(path.constData(), &status) != 0) {
            struct stat link;
            const bool dangling = errno == ENOENT && ::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode);
            reason = dangling ? i18n("a link to nothing") : QString::fromLocal8Bit(std::strerror(errno));
        } else if (S_ISDIR(status.st_mode)) {
            reason = i18n("a folder");
        } else if (!S_ISREG(status.st_mode)) {
            reason = i18n("not a regular file");
        }
        if (!reason.isEmpty()) {
            problems << i18n("%1: %2; syslog-ng would read it with the folder, so nothing is changed until it is removed",
                             QString(Paths::SyslogNgConfDir) + QLatin1Char('/') + name,
                             reason);
        }
    }
    return problems;
}

QStringList undefinedLogReferences(const QByteArray &configuration)
{
    const QString text = withoutCommentsAndStrings(configuration);
    const std::vector<int> depths = braceDepths(text);

    QSet<QString> defined;
    static const QRegularExpression definition(QStringLiteral("(?<![\\w-])(%1)\\s+(%2)\\s*\\{").arg(ObjectKinds, ObjectName));
    for (auto it = definition.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (depths[size_t(match.capturedStart())] == 0) {
            defined.insert(match.captured(1) + QLatin1Char('(') + match.captured(2) + QLatin1Char(')'));
        }
    }

    QStringList missing;
    static const QRegularExpression logStart(QStringLiteral("(?<![\\w-])log\\s*\\{"));
    static const QRegularExpression reference(QStringLiteral("(?<![\\w-])(%1)\\s*\\(\\s*(%2)\\s*\\)").arg(ObjectKinds, ObjectName));
    for (auto it = logStart.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const int start = match.capturedEnd();
        if (depths[size_t(match.capturedStart())] != 0) {
            continue; // nested log statements are read with their parent
        }
        int end = start;
        while (end < text.size() && depths[size_t(end + 1)] > 0) {
            ++end;
        }
        const QString body = text.mid(start, end - start);
        for (auto refs = reference.globalMatch(body); refs.hasNext();) {
            const QRegularExpressionMatch ref = refs.next();
            const QString name = ref.captured(1) + QLatin1Char('(') + ref.captured(2) + QLatin1Char(')');
            if (!defined.contains(name) && !missing.contains(name)) {
                missing << name;
            }
        }
    }
    return missing;
}

Result logrotate(const QString &file)
{
    QString checked = file;
    QTemporaryDir scratch;
    if (!Paths::systemRoot().isEmpty()) {
        QFile original(file);
        if (!scratch.isValid() || !original.open(QIODevice::ReadOnly)) {
            return {false, QLatin1String("logrotate check: ") + original.errorString()};
        }
        checked = scratch.filePath(QFileInfo(file).fileName());
        QString error;
        if (!writeScratch(checked, withPlacedLogPaths(original.readAll()), &error)) {
            return {false, QLatin1String("logrotate check: ") + error};
        }
    }
    const Process::Result run = Process::run(QStringLiteral("logrotate"), {QStringLiteral("-d"), checked}, CheckTimeoutMs);
    Result check = fromProcess(run, QStringLiteral("logrotate -d"));
    // The debug run prints what it would do; what matters are its errors.
    const QStringList errors = logRotateErrors(run.output);
    if (!check.accepted && !errors.isEmpty()) {
        check.message = errors.join(QLatin1Char('\n')).replace(checked, file);
    }
    return check;
}
}
