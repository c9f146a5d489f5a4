#include "contentcheck.h"

#include "model/singleeventsparser.h"
#include "platform/paths.h"
#include "platform/textdecode.h"

#include <KLocalizedString>

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace
{
// A file's refusal so far: the first reason found, with its line.
class Refusal
{
public:
    bool refuse(int lineIndex, const QString &reason)
    {
        if (m_text.isEmpty()) {
            m_text = i18n("line %1: %2", lineIndex + 1, reason);
        }
        return false;
    }
    QString text() const
    {
        return m_text;
    }

private:
    QString m_text;
};

// The words of a line as the tools split them: on spaces and tabs.
QStringList words(const QString &line)
{
    static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
    return line.split(blanks, Qt::SkipEmptyParts);
}

// A line break other than the line's own, or another control character, lets
// a tool and a reader (or a terminal) see different lines.
bool hasControlCharacter(const QString &line)
{
    return std::any_of(line.cbegin(), line.cend(), [](QChar c) {
        return c != QLatin1Char('\t')
            && (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c == QChar::LineSeparator || c == QChar::ParagraphSeparator);
    });
}

bool isComment(const QString &trimmed)
{
    return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'));
}

// The settings as the page reads them: what it would call damaged (and then
// write back without) is refused for the same reasons.
QString settingsRefusal(const QString &text)
{
    const QStringList damage = SingleEventsParser::readCurrentSettingsText(text.toUtf8()).damage;
    return damage.join(QLatin1Char('\n') + QString(Paths::EventsFile) + QLatin1String(": "));
}

// The options of a watch rule (-w PATH [-p PERMS] [-k KEY]) and of a syscall
// rule (-a always,exit [-F FIELD OP VALUE] [-S CALLS] [-k KEY]), each followed
// by its value as auditctl's option parser takes it: the next word.
bool auditRuleAccepted(const QStringList &rule, int lineIndex, Refusal *refusal)
{
    static const QRegularExpression path(QStringLiteral("^/\\S*$"));
    static const QRegularExpression permissions(QStringLiteral("^[rwxa]{1,4}$"));
    static const QRegularExpression calls(QStringLiteral("^[a-z0-9_]+(,[a-z0-9_]+)*$"));
    static const QRegularExpression field(QStringLiteral("^([a-z0-9_]+)(=|!=|<=|>=|<|>|&=|&)(\\S+)$"));
    // Fields narrow what a rule records; none of them makes auditd record less elsewhere.
    static const QSet<QString> fields{
        QStringLiteral("arch"),  QStringLiteral("path"), QStringLiteral("dir"),   QStringLiteral("perm"),    QStringLiteral("auid"),     QStringLiteral("uid"),
        QStringLiteral("euid"),  QStringLiteral("suid"), QStringLiteral("fsuid"), QStringLiteral("gid"),     QStringLiteral("egid"),     QStringLiteral("sgid"),
        QStringLiteral("fsgid"), QStringLiteral("pid"),  QStringLiteral("ppid"),  QStringLiteral("success"), QStringLiteral("exit"),     QStringLiteral("a0"),
        QStringLiteral("a1"),    QStringLiteral("a2"),   QStringLiteral("a3"),    QStringLiteral("key"),     QStringLiteral("filetype"), QStringLiteral("exe")};
    const QString kind = rule.first();
    const bool watch = kind == QLatin1String("-w");
    if (!watch && kind != QLatin1String("-a")) {
        return refusal->refuse(lineIndex, i18n("the option \"%1\": only watch (-w) and syscall (-a always,exit) rules are accepted", kind));
    }
    const QStringList allowed =
        watch ? QStringList{QStringLiteral("-p"), QStringLiteral("-k")} : QStringList{QStringLiteral("-F"), QStringLiteral("-S"), QStringLiteral("-k")};
    for (int i = 0; i < rule.size(); i += 2) {
        const QString &option = rule.at(i);
        if (i > 0 && !allowed.contains(option)) {
            return refusal->refuse(lineIndex, i18n("the option \"%1\" is not accepted in a %2 rule", option, watch ? i18n("watch") : i18n("syscall")));
        }
        if (i + 1 >= rule.size()) {
            return refusal->refuse(lineIndex, i18n("the option \"%1\" without its value", option));
        }
        const QString &value = rule.at(i + 1);
        const QRegularExpressionMatch fieldMatch = field.match(value);
        const bool accepted = option == QLatin1String("-w") ? path.match(value).hasMatch()
            : option == QLatin1String("-a")                 ? value == QLatin1String("always,exit") || value == QLatin1String("exit,always")
            : option == QLatin1String("-p")                 ? permissions.match(value).hasMatch()
            : option == QLatin1String("-S")                 ? calls.match(value).hasMatch()
            : option == QLatin1String("-F")                 ? fieldMatch.hasMatch() && fields.contains(fieldMatch.captured(1))
                                                            : true; // -k: any word
        if (!accepted) {
            return refusal->refuse(lineIndex, i18n("\"%1 %2\" is not accepted", option, value));
        }
    }
    return true;
}

QString auditRulesRefusal(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    Refusal refusal;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (isComment(line)) {
            continue;
        }
        if (!line.startsWith(QLatin1Char('-'))) {
            refusal.refuse(i, i18n("an audit rule expected"));
            break;
        }
        if (hasControlCharacter(lines.at(i))) {
            refusal.refuse(i, i18n("a control character inside the rule"));
            break;
        }
        if (!auditRuleAccepted(words(line), i, &refusal)) {
            break;
        }
    }
    return refusal.text();
}

QString auditTypesRefusal(const QString &text)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_-]+$"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    Refusal refusal;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (!isComment(line) && !name.match(line).hasMatch()) {
            refusal.refuse(i, i18n("an audit event type expected"));
            break;
        }
    }
    return refusal.text();
}

// The logrotate file as logrotate reads it: a list of files, "{" at its end or
// on a line of its own, one directive per line up to "}", and scripts taken
// line by line up to "endscript". Accepted: the main log's block alone, with
// the directives the rotation tab writes and keeps, and as its script the
// reload of syslog-ng that this package and Debian's syslog-ng run.
QString logrotateRefusal(const QString &text)
{
    enum class State {
        Before,
        Header, // the main log named, "{" to come
        Block,
        Script,
        After,
    };
    static const QSet<QString> flags{QStringLiteral("daily"),
                                     QStringLiteral("weekly"),
                                     QStringLiteral("monthly"),
                                     QStringLiteral("yearly"),
                                     QStringLiteral("missingok"),
                                     QStringLiteral("nomissingok"),
                                     QStringLiteral("notifempty"),
                                     QStringLiteral("ifempty"),
                                     QStringLiteral("compress"),
                                     QStringLiteral("nocompress"),
                                     QStringLiteral("delaycompress"),
                                     QStringLiteral("nodelaycompress"),
                                     QStringLiteral("sharedscripts"),
                                     QStringLiteral("nosharedscripts")};
    // logrotate itself says what is wrong with a count or a size.
    static const QRegularExpression number(QStringLiteral("^[A-Za-z0-9.+-]+$"));
    static const QStringList reload{QStringLiteral("invoke-rc.d"),
                                    QStringLiteral("syslog-ng"),
                                    QStringLiteral("reload"),
                                    QStringLiteral(">"),
                                    QStringLiteral("/dev/null")};
    const QString mainLog = Paths::MainEventLog;
    const QStringList logNames{mainLog, QLatin1Char('"') + mainLog + QLatin1Char('"')};

    const QStringList lines = text.split(QLatin1Char('\n'));
    Refusal refusal;
    State state = State::Before;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (hasControlCharacter(lines.at(i))) {
            refusal.refuse(i, i18n("a control character"));
            break;
        }
        const QStringList said = words(line);
        if (state == State::Script) {
            if (line == QLatin1String("endscript")) {
                state = State::Block;
            } else if (!said.isEmpty() && said != reload) {
                refusal.refuse(i, i18n("the command \"%1\": after rotation only \"%2\" may run", line, reload.join(QLatin1Char(' '))));
                break;
            }
            continue;
        }
        if (isComment(line)) {
            continue;
        }
        bool accepted = true;
        switch (state) {
        case State::Before: {
            const bool opens = said.last() == QLatin1String("{");
            const QString files = opens ? line.chopped(1).trimmed() : line;
            accepted = logNames.contains(files) || refusal.refuse(i, i18n("only the block of %1 is accepted", mainLog));
            state = opens ? State::Block : State::Header;
            break;
        }
        case State::Header:
            accepted = line == QLatin1String("{") || refusal.refuse(i, i18n("\"{\" expected"));
            state = State::Block;
            break;
        case State::Block: {
            const QString &directive = said.first();
            if (line == QLatin1String("}")) {
                state = State::After;
            } else if (directive == QLatin1String("postrotate") && said.size() == 1) {
                state = State::Script;
            } else if (directive == QLatin1String("rotate") || directive == QLatin1String("size")) {
                accepted = (said.size() == 2 && number.match(said.at(1)).hasMatch()) || refusal.refuse(i, i18n("\"%1\" takes one number", directive));
            } else {
                accepted = (flags.contains(directive) && said.size() == 1)
                    || refusal.refuse(i, i18n("the directive \"%1\" is not one the rotation of the main log uses", directive));
            }
            break;
        }
        case State::After:
            accepted = refusal.refuse(i, i18n("nothing but comments may follow the block of %1", mainLog));
            break;
        case State::Script:
            break;
        }
        if (!accepted) {
            break;
        }
    }
    if (refusal.text().isEmpty() && state != State::Before && state != State::After) {
        refusal.refuse(int(lines.size()) - 1, state == State::Script ? i18n("\"endscript\" missing") : i18n("the block is not closed"));
    }
    return refusal.text();
}

// Root's notification file as the notification daemon's configuration reader
// takes it: [Event/NAME] groups of the keys the notification dialog writes,
// without a command to run (root's file is copied into every home).
QString notifyrcRefusal(const QString &text)
{
    static const QRegularExpression group(QStringLiteral("^\\[Event/[A-Za-z0-9_-]+\\]$"));
    static const QRegularExpression entry(QStringLiteral("^([^=]*)=(.*)$"));
    static const QRegularExpression path(QStringLiteral("^(/[^\\\\]*)?$"));
    static const QSet<QString> actions{QStringLiteral("Popup"), QStringLiteral("Sound"), QStringLiteral("Logfile")};
    const QStringList lines = text.split(QLatin1Char('\n'));
    Refusal refusal;
    bool inGroup = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (hasControlCharacter(lines.at(i))) {
            refusal.refuse(i, i18n("a control character"));
            break;
        }
        if (isComment(line)) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = group.match(line).hasMatch();
            if (!inGroup) {
                refusal.refuse(i, i18n("only [Event/NAME] groups are accepted"));
                break;
            }
            continue;
        }
        const QRegularExpressionMatch match = entry.match(line);
        if (!match.hasMatch() || !inGroup) {
            refusal.refuse(i, i18n("a [group] or key=value expected"));
            break;
        }
        const QString key = match.captured(1).trimmed();
        const QString value = match.captured(2).trimmed();
        bool accepted = true;
        if (key == QLatin1String("Action")) {
            const QStringList chosen = value.split(QLatin1Char('|'), Qt::SkipEmptyParts);
            for (const QString &action : chosen) {
                accepted = accepted && (actions.contains(action) || refusal.refuse(i, i18n("the action \"%1\" is not accepted", action)));
            }
        } else if (key == QLatin1String("Execute") || key == QLatin1String("TTS")) {
            accepted = value.isEmpty() || refusal.refuse(i, i18n("\"%1\" must be empty", key));
        } else if (key == QLatin1String("Sound")) {
            accepted = path.match(value).hasMatch() || refusal.refuse(i, i18n("\"%1\" takes an absolute path", key));
        } else if (key == QLatin1String("Logfile")) {
            accepted = value.isEmpty() || (value.startsWith(QLatin1String("file:///")) && path.match(value.mid(7)).hasMatch())
                || refusal.refuse(i, i18n("\"%1\" takes a file:// address", key));
        } else {
            accepted = refusal.refuse(i, i18n("the key \"%1\" is not one the notification dialog writes", key));
        }
        if (!accepted) {
            break;
        }
    }
    return refusal.text();
}
} // namespace

namespace ContentCheck
{
QString refusal(const QString &name, const QByteArray &data)
{
    const QString path = QLatin1Char('/') + name;
    const std::function<QString(const QString &)> reader = path == Paths::EventsFile ? settingsRefusal
        : path == Paths::AuditRulesFile                                              ? auditRulesRefusal
        : path == Paths::AuditTypeStore                                              ? auditTypesRefusal
        : path == Paths::RootNotifyrc                                                ? notifyrcRefusal
        : path == Paths::LogRotateFile                                               ? logrotateRefusal
                                                                                     : std::function<QString(const QString &)>();
    if (!reader) {
        return QString();
    }
    QString text;
    QString reason;
    if (!TextDecode::utf8(data, &text, &reason)) {
        return QStringLiteral("%1: %2").arg(path, reason);
    }
    reason = reader(text);
    return reason.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(path, reason);
}
} // namespace ContentCheck
