#include "logrotateparser.h"

#include "rotationlog.h"

#include "model/treeitem.h"
#include "platform/configcheck.h"
#include "platform/fileread.h"
#include "platform/folderentries.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace
{
constexpr int CheckTimeoutMs = 30000;

// More levels of includes than a real configuration has: a loop or a trap.
constexpr int MaxIncludeDepth = 16;

// logrotate opens what a file includes without care: a FIFO there would hold
// the check for its whole time limit. Empty when every include, and every
// include of the files included, at any depth, is a regular file or a folder
// of regular files and folders. Each path is looked at once, however often
// it is included.
QString includeProblem(const QString &text, QSet<QString> *seen, int depth = 0)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        if (words.size() < 2 || words.first() != QLatin1String("include") || seen->contains(words.at(1))) {
            continue;
        }
        if (depth >= MaxIncludeDepth) {
            return i18n("include %1: included more than %2 levels deep; the file was not checked", words.at(1), MaxIncludeDepth);
        }
        seen->insert(words.at(1));
        const QFileInfo target(words.at(1));
        QFileInfoList targets{target};
        if (target.isDir()) {
            targets = FolderEntries::read(target.filePath()).entries;
        }
        for (const QFileInfo &file : std::as_const(targets)) {
            if (file.exists() && !file.isFile() && !file.isDir()) {
                return i18n("include %1: %2 is not a regular file; the file was not checked", words.at(1), file.filePath());
            }
            if (!file.isFile() || (file.filePath() != words.at(1) && seen->contains(file.filePath()))) {
                continue;
            }
            seen->insert(file.filePath());
            const FileRead::Text included = FileRead::text(file.filePath(), FileRead::ConfigLimit);
            if (const QString problem = included.ok ? includeProblem(included.text, seen, depth + 1) : QString(); !problem.isEmpty()) {
                return problem;
            }
        }
    }
    return QString();
}

const QStringList &scriptWords()
{
    static const QStringList words{QStringLiteral("postrotate"),
                                   QStringLiteral("prerotate"),
                                   QStringLiteral("firstaction"),
                                   QStringLiteral("lastaction"),
                                   QStringLiteral("preremove")};
    return words;
}

bool isBrace(const QString &line)
{
    const QString trimmed = line.trimmed();
    return trimmed == QLatin1String("{") || trimmed == QLatin1String("}");
}
}

LogRotateParser::LogRotateParser(const QString &fileName, QObject *parent)
    : AbstractConfigParser(fileName, parent)
{
}

LogRotateParser::~LogRotateParser() = default;

TreeItem *LogRotateParser::parse()
{
    return Process::waitFor<TreeItem *>([this](const Process::Runner &run, const auto &done) {
        parse(run, done);
    });
}

void LogRotateParser::parse(const Process::Runner &run, const std::function<void(TreeItem *tree)> &done)
{
    // Read before checking: reading clears the error text the check may set.
    m_text = readFile();
    if (m_text.isEmpty()) {
        // Damage the reader has logged; a missing or empty file is this reader's own refusal.
        if (!damaged()) {
            qCWarning(QUOR_ROTATION).nospace().noquote() << filePath() << ": missing or empty: " << errorString();
        }
        return done(nullptr);
    }
    QSet<QString> seen;
    if (const QString problem = includeProblem(m_text, &seen); !problem.isEmpty()) {
        addProblem(filePath() + QLatin1String(": ") + problem);
        return done(build(true));
    }
    run(QStringLiteral("logrotate"),
        {filePath(), QStringLiteral("-d")},
        CheckTimeoutMs,
        Process::Channels::Separate,
        [this, done](const Process::Result &result) {
            // A tool that cannot be run gives no verdict; one that hangs has not passed.
            const int exitCode = result.started ? result.exitCode : 0;
            const QStringList errorLines = QString::fromLocal8Bit(result.errorOutput).split(QLatin1Char('\n'));
            const auto noLogs = std::count_if(errorLines.cbegin(), errorLines.cend(), [](const QString &line) {
                return line.contains(QLatin1String("Handling 0 logs"));
            });
            const bool passed = exitCode == 0 && noLogs != 1;
            TreeItem *tree = build(passed);
            // logrotate's own words say what is wrong, also when it printed no error.
            if (!passed && result.started && !result.finished) {
                addProblem(filePath() + QLatin1String(": ") + i18n("logrotate -d gave no answer within %1 seconds", CheckTimeoutMs / 1000));
            }
            const QStringList said = passed ? QStringList() : ConfigCheck::logrotateSays(result.errorOutput);
            for (const QString &line : said) {
                addProblem(QStringLiteral("logrotate: ") + line);
            }
            done(tree);
        });
}

TreeItem *LogRotateParser::build(bool passed)
{
    if (!passed) {
        addProblem(filePath() + QLatin1String(": ") + i18n("Bad config file"));
    }
    const QString &text = m_text;
    const QStringList allLines = text.split(QLatin1Char('\n'));
    // Of several blocks, the main log's: its lines alone are read.
    int from = 0;
    int to = allLines.size();
    const QVector<Block> found = blocks(allLines);
    m_shownBlock = 0;
    // Lines after a block's "}" set defaults for later blocks only: of a single
    // block, they are not its settings, and showing them would show a value
    // the tab's save puts inside the block as not taken.
    if (found.size() == 1) {
        from = found.first().header;
        to = qMin(found.first().close + 1, int(allLines.size()));
    } else if (found.size() > 1) {
        const auto main = std::find_if(found.cbegin(), found.cend(), [](const Block &block) {
            return namesMainLog(block.paths);
        });
        m_shownBlock = main == found.cend() ? 0 : int(main - found.cbegin());
        const Block &shown = found.at(m_shownBlock);
        from = shown.header;
        to = qMin(shown.close + 1, int(allLines.size()));
        addProblem(filePath() + QLatin1String(": ")
                   + (main == found.cend()
                          ? i18n("%1 blocks, none of them for %2; the first (%3) is shown and edited", found.size(), QString(Paths::MainEventLog), shown.paths)
                          : i18n("%1 blocks; the one for %2 (%3, line %4) is shown and edited",
                                 found.size(),
                                 QString(Paths::MainEventLog),
                                 shown.paths,
                                 shown.header + 1)));
    }
    // Directives outside the blocks before the one shown are its defaults.
    m_defaults.clear();
    for (int index = 0; !found.isEmpty() && index < found.at(m_shownBlock).header; ++index) {
        const QString simplified = allLines.at(index).simplified();
        const bool inBlock = std::any_of(found.cbegin(), found.cend(), [index](const Block &block) {
            return index >= block.header && index <= block.close;
        });
        if (!inBlock && !simplified.isEmpty() && !simplified.startsWith(QLatin1Char('#'))) {
            QString value;
            const QString word = directiveWord(simplified, &value);
            if (word != QLatin1String("include")) {
                m_defaults.append({word, value});
            }
        }
    }
    QStringList lines;
    for (int index = from; index < to; ++index) {
        const QString &line = allLines.at(index);
        // A comment may be indented, as for logrotate and the page's own write.
        const QString trimmed = line.trimmed();
        if (!trimmed.startsWith(QLatin1Char('#')) && !trimmed.isEmpty()) {
            lines.append(line);
        }
    }

    auto root = std::make_unique<TreeItem>(QVector<QVariant>{i18n("Parameter"), i18n("Value")});
    // The log paths end at the block's "{": text after it on the same line is
    // no path, and glued to the header it could turn it into a comment when written.
    QString header = lines.isEmpty() ? QString() : lines.takeFirst().section(QLatin1Char('{'), 0, 0).remove(QLatin1Char('}')).simplified();
    // Nor is a comment after a stray "}", which would be written back as a comment line.
    if (header.startsWith(QLatin1Char('#'))) {
        header.clear();
    }
    auto block = std::make_unique<TreeItem>(QVector<QVariant>{header, QVariant()}, root.get());
    lines.erase(std::remove_if(lines.begin(), lines.end(), isBrace), lines.end());

    for (int i = 0; i < lines.size(); ++i) {
        QString value;
        const QString word = directiveWord(lines.at(i).simplified(), &value);
        if (word == QLatin1String("postrotate")) {
            // The script line is kept with its directive; a longer script goes on as
            // directives. An empty script keeps its endscript.
            value.clear();
            if (i + 1 < lines.size() && lines.at(i + 1).simplified() != QLatin1String("endscript")) {
                value = lines.at(++i).simplified();
            }
        }
        block->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{word, value}, block.get()));
    }
    root->appendChild(std::move(block));
    return root.release();
}

QVector<LogRotateParser::Block> LogRotateParser::blocks(const QStringList &fileLines)
{
    QVector<Block> found;
    bool inBlock = false;
    bool inScript = false;
    int headerCandidate = -1; // a line outside blocks without braces: the paths of a "{" alone on the next line
    for (int i = 0; i < fileLines.size(); ++i) {
        const QString simplified = fileLines.at(i).simplified();
        if (simplified.isEmpty() || simplified.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const QString word = simplified.section(QLatin1Char(' '), 0, 0);
        if (inBlock) {
            if (inScript) {
                inScript = word != QLatin1String("endscript");
            } else if (simplified.startsWith(QLatin1Char('}'))) {
                found.last().close = i;
                inBlock = false;
            } else if (scriptWords().contains(word)) {
                inScript = true;
            }
            continue;
        }
        const int brace = simplified.indexOf(QLatin1Char('{'));
        if (brace < 0) {
            headerCandidate = simplified.contains(QLatin1Char('}')) ? -1 : i;
            continue;
        }
        Block block;
        block.header = i;
        block.open = i;
        block.close = int(fileLines.size());
        block.paths = simplified.left(brace).remove(QLatin1Char('}')).simplified();
        if (block.paths.isEmpty() && headerCandidate >= 0) {
            block.header = headerCandidate;
            block.paths = fileLines.at(headerCandidate).simplified();
        }
        found.append(block);
        inBlock = true;
        headerCandidate = -1;
    }
    return found;
}

QString LogRotateParser::directiveWord(const QString &simplified, QString *value)
{
    // logrotate ends a directive's name at white space or "=" ("size=100M").
    static const QRegularExpression separator(QStringLiteral("[ =]"));
    const int end = int(simplified.indexOf(separator));
    if (value) {
        *value = end < 0 ? QString() : simplified.mid(end).remove(QRegularExpression(QStringLiteral("^[ =]+")));
    }
    return end < 0 ? simplified : simplified.left(end);
}

bool LogRotateParser::isScriptWord(const QString &word)
{
    return scriptWords().contains(word);
}

bool LogRotateParser::namesMainLog(const QString &paths)
{
    const QStringList words = paths.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString word : words) {
        if (word.size() > 1 && (word.startsWith(QLatin1Char('"')) || word.startsWith(QLatin1Char('\''))) && word.endsWith(word.at(0))) {
            word = word.mid(1, word.size() - 2);
        }
        if (word == Paths::MainEventLog) {
            return true;
        }
        if (word.contains(QLatin1Char('*')) || word.contains(QLatin1Char('?')) || word.contains(QLatin1Char('['))) {
            const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(word));
            if (pattern.isValid() && pattern.match(Paths::MainEventLog).hasMatch()) {
                return true;
            }
        }
    }
    return false;
}
