#include "configcheck.h"

#include "fileread.h"
#include "folderentries.h"
#include "paths.h"
#include "privatefolder.h"
#include "process.h"
#include "programs.h"
#include "stagedfile.h"
#include "syslogngreader.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace ConfigCheck
{
namespace
{
constexpr int CheckTimeoutMs = 30000;
// Importing a few modules takes a fraction of a second; one that hangs must not hold the page.
constexpr int ImportTimeoutMs = 10000;
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

// syslog-ng opens every file the configuration includes, at any depth, before
// it checks any of them: a FIFO among them holds the check for its whole time
// limit, and a device is read for what it gives. The @include that brings in
// the first such file ("<file>:<line>: @include: <path>: <reason>"); empty
// when there is none. The main configuration and each file of confDir (whose
// entries includeFolderProblems has looked at) are walked on their own, so
// that a folder of many files is no deeper a nesting than one. An include
// that cannot be had for another reason ends that walk: syslog-ng says why in
// its own words.
QString includedSpecialFile(const QString &confDir, const QByteArray &configuration)
{
    const QByteArray checkedFolder = QFile::encodeName(confDir) + "/*.conf";
    bool special = false;
    SyslogNgReader::Options options;
    options.includeFiles = [&](const QByteArray &written, std::vector<SyslogNgReader::IncludedFile> *files, QString *error) {
        if (written == checkedFolder) {
            return true; // walked file by file below
        }
        QStringList paths;
        if (!SyslogNgReader::systemIncludePaths(written, &paths, error)) {
            return false;
        }
        for (const QString &path : std::as_const(paths)) {
            const QString placed = Paths::placed(path);
            struct stat status;
            if (::stat(QFile::encodeName(placed).constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
                special = true;
                *error = i18n("%1: not a regular file; syslog-ng would wait on it or read it for what it gives", path);
                return false;
            }
            const FileRead::Result read = FileRead::regular(placed, FileRead::ConfigLimit);
            if (!read.ok) {
                *error = FileRead::describe(path, read);
                return false;
            }
            files->push_back({path, read.data});
        }
        return true;
    };
    QString found = SyslogNgReader::read(MainSyslogNgConfig, configuration, options).error;
    const QStringList names = FolderEntries::names(confDir, {QStringLiteral("*.conf")}, QDir::Files);
    for (auto name = names.cbegin(); !special && name != names.cend(); ++name) {
        const FileRead::Result read = FileRead::regular(confDir + QLatin1Char('/') + *name, FileRead::ConfigLimit);
        if (read.ok) {
            found = SyslogNgReader::read(QString(Paths::SyslogNgConfDir) + QLatin1Char('/') + *name, read.data, options).error;
        }
    }
    return special ? found : QString();
}

// The kinds of object a configuration refers to by name.
const QSet<QByteArray> ObjectKinds{"source", "destination", "filter", "parser", "rewrite", "template"};

// A file read as syslog-ng reads it, its includes left as written (the
// caller hands over each file it resolves). One that does not read yields no
// statements: syslog-ng, which parsed it first, would have said why.
SyslogNgReader::Config readFile(const ConfigFile &file)
{
    return SyslogNgReader::read(file.path, file.text);
}

// "kind(name)" of every object the top-level statements define.
void collectDefinitions(const SyslogNgReader::Config &config, QSet<QString> *defined)
{
    for (const SyslogNgReader::Statement &statement : config.statements) {
        if (ObjectKinds.contains(statement.keyword) && !statement.name.isEmpty()) {
            defined->insert(QString::fromUtf8(statement.keyword + '(' + statement.name + ')'));
        }
    }
}

// Each value of the statements that names something: block definitions and
// Python code mean nothing until used, and the reader keeps them as written.
void forEachNamingValue(const SyslogNgReader::Config &config, const std::function<void(const SyslogNgReader::Value &)> &visit)
{
    for (const SyslogNgReader::Statement &statement : config.statements) {
        if (statement.kind == SyslogNgReader::Statement::BlockDefinition) {
            continue;
        }
        SyslogNgReader::walk(statement.values, [&visit](const SyslogNgReader::Value &value) {
            visit(value);
            return true;
        });
    }
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

// Imports each class named on the command line (after the file of the python {}
// blocks' code and syslog-ng's own module folder) as syslog-ng's Python module
// does: "module.Class" from the module, a name without a module from the
// blocks' code. syslog-ng's built-in module does not exist outside the daemon:
// a stand-in answers every name asked of it, and its classes every name asked
// of them (syslog-ng 4's module reads constants such as
// LogDestinationResult.DROP when imported). Prints "<number>\t<reason>" for
// each class that cannot be had.
const QByteArray ImportScript = R"(import importlib
import sys
import types


class StandIn(type):
    def __getattr__(cls, name):
        if name.startswith("__"):
            raise AttributeError(name)
        return stand_in_class(name)


def stand_in_class(name):
    return StandIn(name, (object,), {"__init__": lambda self, *args, **kwargs: None})


def stand_in(name):
    if name.startswith("__"):
        raise AttributeError(name)
    value = stand_in_class(name)
    setattr(builtin, name, value)
    return value


builtin = types.ModuleType("_syslogng")
builtin.__getattr__ = stand_in
sys.modules["_syslogng"] = builtin
del sys.path[0]
for folder in reversed([f for f in sys.argv[2].split(":") if f]):
    sys.path.insert(0, folder)
main = types.ModuleType("_syslogng_main")
sys.modules["_syslogng_main"] = main
out = sys.stdout
sys.stdout = sys.stderr
try:
    with open(sys.argv[1], encoding="utf-8") as f:
        exec(compile(f.read(), "python {}", "exec"), main.__dict__)
    block_error = None
except BaseException as error:
    block_error = error
for index, name in enumerate(sys.argv[3:]):
    try:
        module, _, attribute = name.rpartition(".")
        if module:
            found = getattr(importlib.import_module(module), attribute)
        elif block_error is not None:
            raise block_error
        else:
            found = getattr(main, attribute)
        if not isinstance(found, type):
            raise TypeError(name + " is not a class")
    except BaseException as error:
        print("%d\t%s: %s" % (index, type(error).__name__, str(error).replace("\n", " ")), file=out, flush=True)
)";

// The folder of syslog-ng's own Python modules, which it puts first on the
// module path, from what "syslog-ng --version" printed; empty when it does not say.
QString syslogNgPythonFolder(const QByteArray &version)
{
    const QList<QByteArray> lines = version.split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("Module-Directory:")) {
            return QString::fromUtf8(line.mid(int(qstrlen("Module-Directory:"))).trimmed()) + QLatin1String("/python");
        }
    }
    return QString();
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

}

Result syslogNg(const QString &confDir)
{
    return Process::waitFor<Result>([&confDir](const Process::Runner &run, const Done &done) {
        syslogNg(confDir, run, done);
    });
}

void syslogNg(const QString &confDir, const Process::Runner &run, const Done &done)
{
    // The check runs in a folder of its own so that it never touches the
    // running daemon's persist, pid or control files. It lives until the check ends.
    const auto scratch = std::make_shared<ScratchFolder>();
    if (!scratch->isValid()) {
        return done({false, i18n("syslog-ng check: no temporary folder: %1", scratch->errorString())});
    }
    if (const QStringList problems = includeFolderProblems(confDir); !problems.isEmpty()) {
        return done({false, problems.join(QLatin1Char('\n'))});
    }
    QString problem;
    const QByteArray configuration = mainConfiguration(confDir, &problem);
    if (!problem.isEmpty()) {
        return done({false, i18n("syslog-ng check: %1", problem)});
    }
    if (const QString special = includedSpecialFile(confDir, configuration); !special.isEmpty()) {
        return done(
            {false, i18n("syslog-ng check: %1. syslog-ng is not run on the configuration, and nothing is changed, until that include is removed.", special)});
    }
    const QString config = scratch->filePath(QStringLiteral("syslog-ng.conf"));
    QString error;
    if (!StagedFile::writeScratch(config, configuration, &error)) {
        return done({false, QLatin1String("syslog-ng check: ") + error});
    }
    const QString preprocessed = scratch->filePath(QStringLiteral("preprocessed.conf"));
    const QStringList arguments{QStringLiteral("--syntax-only"),
                                QLatin1String("--cfgfile=") + config,
                                QLatin1String("--preprocess-into=") + preprocessed,
                                QLatin1String("--persist-file=") + scratch->filePath(QStringLiteral("syslog-ng.persist")),
                                QLatin1String("--pidfile=") + scratch->filePath(QStringLiteral("syslog-ng.pid")),
                                QLatin1String("--control=") + scratch->filePath(QStringLiteral("syslog-ng.ctl"))};
    run(QStringLiteral("syslog-ng"),
        arguments,
        CheckTimeoutMs,
        Process::Channels::Merged,
        [scratch, preprocessed, configuration, confDir, run, done](const Process::Result &syntax) {
            const Result check = fromProcess(syntax, QStringLiteral("syslog-ng --syntax-only"));
            if (!check.accepted) {
                return done(check);
            }
            // The configuration as syslog-ng will run it, every include read: what it
            // defines. syslog-ng just wrote it into our own private scratch folder, so
            // it is read plainly rather than through the guard for others' files.
            QFile expanded(preprocessed);
            if (!expanded.open(QIODevice::ReadOnly)) {
                return done({false, QLatin1String("syslog-ng check: ") + expanded.errorString()});
            }
            // The files whose names are resolved, each under the path the administrator knows.
            QList<ConfigFile> files;
            if (QFileInfo::exists(Paths::placed(MainSyslogNgConfig))) {
                files << ConfigFile{MainSyslogNgConfig, configuration};
            }
            const QDir folder(confDir);
            const QStringList names = FolderEntries::names(confDir, {QStringLiteral("*.conf")}, QDir::Files);
            for (const QString &name : names) {
                const QString path = QString(Paths::SyslogNgConfDir) + QLatin1Char('/') + name;
                const FileRead::Result read = FileRead::regular(folder.filePath(name), FileRead::ConfigLimit);
                if (!read.ok) {
                    return done({false, i18n("syslog-ng check: %1", FileRead::describe(path, read))});
                }
                files << ConfigFile{path, read.data};
            }
            QStringList missing;
            const QList<Reference> undefined = undefinedReferences(files, expanded.readAll());
            for (const Reference &reference : undefined) {
                missing << describe(reference);
            }
            if (!missing.isEmpty()) {
                return done({false, missing.join(QLatin1Char('\n'))});
            }
            importPythonClasses(pythonClasses(files), pythonBlockCode(files), run, done);
        });
}

QStringList includeFolderProblems(const QString &placedDir)
{
    QStringList problems;
    const auto problem = [&problems](const QString &name, const QString &reason) {
        problems << i18n("%1: %2; syslog-ng would read it with the folder, so nothing is changed until it is removed",
                         QString(Paths::SyslogNgConfDir) + QLatin1Char('/') + name,
                         reason);
    };
    const FolderEntries listing = FolderEntries::read(placedDir);
    // The check reads the folder by decoded names and would leave such a file out.
    for (const QByteArray &name : listing.undecodable) {
        problem(QString::fromUtf8(name), i18n("a name that is not UTF-8"));
    }
    for (const QFileInfo &entry : listing.entries) {
        const QString name = entry.fileName();
        const QByteArray path = QFile::encodeName(entry.filePath());
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
            problem(name, reason);
        }
    }
    return problems;
}

QList<Reference> undefinedReferences(const QList<ConfigFile> &files, const QByteArray &definedElsewhere)
{
    std::vector<SyslogNgReader::Config> read;
    QSet<QString> defined;
    for (const ConfigFile &file : files) {
        read.push_back(readFile(file));
        collectDefinitions(read.back(), &defined);
    }
    if (!definedElsewhere.isEmpty()) {
        // syslog-ng's own output: its backticks are substituted already.
        SyslogNgReader::Options substituted;
        substituted.substituteLines = false;
        collectDefinitions(SyslogNgReader::read(QString(), definedElsewhere, substituted), &defined);
    }
    QList<Reference> missing;
    for (const SyslogNgReader::Config &config : read) {
        forEachNamingValue(config, [&defined, &missing](const SyslogNgReader::Value &value) {
            if (value.kind != SyslogNgReader::Value::Call || !ObjectKinds.contains(value.text) || value.arguments.size() != 1) {
                return;
            }
            const SyslogNgReader::Value &name = value.arguments.front();
            // A quoted template() is the template itself, not the name of one.
            const bool reference = name.kind == SyslogNgReader::Value::Word || (name.kind == SyslogNgReader::Value::String && value.text != "template");
            const Reference found{value.place.file, value.place.line, QString::fromUtf8(value.text), QString::fromUtf8(name.text)};
            if (reference && !defined.contains(found.kind + QLatin1Char('(') + found.name + QLatin1Char(')')) && !missing.contains(found)) {
                missing << found;
            }
        });
    }
    return missing;
}

QList<Reference> pythonClasses(const QList<ConfigFile> &files)
{
    static const QSet<QByteArray> drivers{"python", "python-fetcher", "python_fetcher"};
    QList<Reference> classes;
    for (const ConfigFile &file : files) {
        forEachNamingValue(readFile(file), [&classes](const SyslogNgReader::Value &value) {
            if (value.kind != SyslogNgReader::Value::Call || !drivers.contains(value.text)) {
                return;
            }
            for (const SyslogNgReader::Value &option : value.arguments) {
                if (option.kind == SyslogNgReader::Value::Call && option.text == "class" && option.arguments.size() == 1
                    && option.arguments.front().kind != SyslogNgReader::Value::Call) {
                    const Reference found{option.place.file, option.place.line, QStringLiteral("class"), QString::fromUtf8(option.arguments.front().text)};
                    if (!classes.contains(found)) {
                        classes << found;
                    }
                }
            }
        });
    }
    return classes;
}

QByteArray pythonBlockCode(const QList<ConfigFile> &files)
{
    QByteArray code;
    for (const ConfigFile &file : files) {
        const SyslogNgReader::Config config = readFile(file);
        for (const SyslogNgReader::Statement &statement : config.statements) {
            if (statement.kind == SyslogNgReader::Statement::Python) {
                code += statement.value + '\n';
            }
        }
    }
    return code;
}

Result importPythonClasses(const QList<Reference> &classes, const QByteArray &blockCode)
{
    return Process::waitFor<Result>([&classes, &blockCode](const Process::Runner &run, const Done &done) {
        importPythonClasses(classes, blockCode, run, done);
    });
}

void importPythonClasses(const QList<Reference> &classes, const QByteArray &blockCode, const Process::Runner &run, const Done &done)
{
    if (classes.isEmpty()) {
        return done({true, QString()});
    }
    const auto scratch = std::make_shared<ScratchFolder>();
    QString error;
    const QString script = scratch->filePath(QStringLiteral("import-classes.py"));
    const QString code = scratch->filePath(QStringLiteral("python-blocks.py"));
    if (!scratch->isValid() || !StagedFile::writeScratch(script, ImportScript, &error) || !StagedFile::writeScratch(code, blockCode, &error)) {
        return done({false, i18n("Python class check: no temporary folder: %1", scratch->isValid() ? error : scratch->errorString())});
    }
    run(QStringLiteral("syslog-ng"), {QStringLiteral("--version")}, ImportTimeoutMs, Process::Channels::Merged, [=](const Process::Result &version) {
        // Isolated, so that nothing of the environment adds modules, and
        // leaving no compiled files beside the modules it imports. The module
        // folders are named: the one of the syslog-ng that answered, and under
        // a system root that root's folder of the system's Python modules.
        QStringList folders{syslogNgPythonFolder(version.output)};
        if (!Paths::systemRoot().isEmpty()) {
            folders << Paths::placed(QStringLiteral("/usr/lib/python3/dist-packages"));
        }
        const QStringList arguments = Programs::pythonOptions() + QStringList{script, code, folders.join(QLatin1Char(':'))};
        QStringList names;
        for (const Reference &reference : classes) {
            names << reference.name;
        }
        run(QStringLiteral("python3"),
            arguments + names,
            ImportTimeoutMs,
            Process::Channels::Separate,
            [scratch, classes, done](const Process::Result &imported) {
                if (!imported.started || !imported.finished || imported.exitCode != 0) {
                    Result result = fromProcess(imported, QStringLiteral("python3"));
                    result.accepted = false;
                    if (imported.finished) {
                        result.message =
                            i18n("The Python classes of the configuration could not be checked: %1", QString::fromUtf8(imported.errorOutput).trimmed());
                    }
                    return done(result);
                }
                // One line per class that failed: its number among the arguments and why.
                QStringList failures;
                const QList<QByteArray> lines = imported.output.split('\n');
                for (const QByteArray &line : lines) {
                    const int tab = line.indexOf('\t');
                    bool isNumber = false;
                    const int index = line.left(tab).toInt(&isNumber);
                    if (tab > 0 && isNumber && index >= 0 && index < classes.size()) {
                        failures << describe(classes.at(index)) + QLatin1String(": ") + QString::fromUtf8(line.mid(tab + 1));
                    }
                }
                done({failures.isEmpty(), failures.join(QLatin1Char('\n'))});
            });
    });
}

QString describe(const Reference &reference)
{
    // Worded like syslog-ng's own messages, which are not translated either.
    if (reference.kind == QLatin1String("class")) {
        return QStringLiteral("%1:%2: the Python class \"%3\" cannot be imported").arg(reference.path).arg(reference.line).arg(reference.name);
    }
    return QStringLiteral("%1:%2: %3(%4) is not defined").arg(reference.path).arg(reference.line).arg(reference.kind, reference.name);
}

QStringList logrotateSays(const QByteArray &output)
{
    QStringList errors;
    QString noLogs;
    QString last;
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.startsWith(QLatin1String("error:"))) {
            errors << text;
        } else if (text.startsWith(QLatin1String("Handling 0 logs"))) {
            noLogs = text;
        }
        if (!text.isEmpty()) {
            last = text;
        }
    }
    if (!errors.isEmpty()) {
        return errors;
    }
    if (!noLogs.isEmpty()) {
        return {noLogs};
    }
    return last.isEmpty() ? QStringList() : QStringList{last};
}

Result logrotate(const QString &file)
{
    return Process::waitFor<Result>([&file](const Process::Runner &run, const Done &done) {
        logrotate(file, run, done);
    });
}

void logrotate(const QString &file, const Process::Runner &run, const Done &done)
{
    QString checked = file;
    // The copy lives until the check ends.
    const auto scratch = std::make_shared<ScratchFolder>();
    if (!Paths::systemRoot().isEmpty()) {
        const FileRead::Result original = FileRead::regular(file, FileRead::ConfigLimit);
        if (!scratch->isValid() || !original.ok) {
            return done({false, QLatin1String("logrotate check: ") + (original.ok ? scratch->errorString() : FileRead::describe(file, original))});
        }
        checked = scratch->filePath(QFileInfo(file).fileName());
        QString error;
        if (!StagedFile::writeScratch(checked, withPlacedLogPaths(original.data), &error)) {
            return done({false, QLatin1String("logrotate check: ") + error});
        }
    }
    run(QStringLiteral("logrotate"),
        {QStringLiteral("-d"), checked},
        CheckTimeoutMs,
        Process::Channels::Merged,
        [file, checked, scratch, done](const Process::Result &ran) {
            Result check = fromProcess(ran, QStringLiteral("logrotate -d"));
            // The debug run prints what it would do; what matters is what it holds against the file.
            const QStringList said = logrotateSays(ran.output);
            if (!check.accepted && ran.started && !said.isEmpty()) {
                const QString unfinished =
                    ran.finished ? QString() : i18n("%1: no answer within the time limit", QStringLiteral("logrotate -d")) + QLatin1Char('\n');
                check.message = QString(unfinished + said.join(QLatin1Char('\n'))).replace(checked, file);
            }
            done(check);
        });
}
}
