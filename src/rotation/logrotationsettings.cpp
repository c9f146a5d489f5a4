#include "logrotationsettings.h"

#include "editors/plaintext.h"
#include "ui_logrotationsettings.h"

#include "editors/changedoutside.h"
#include "editors/messagebox.h"
#include "editors/problemsmessage.h"
#include "editors/reviewchangesdialog.h"
#include "editors/snapshotbeforewrite.h"
#include "logrotateparser.h"
#include "model/treeitem.h"
#include "platform/checkedwrite.h"
#include "platform/fileread.h"
#include "platform/paths.h"
#include "rotationwriter.h"

#include <KLocalizedString>

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStorageInfo>

#include <limits>
#include <optional>
#include <utility>

#include <sys/stat.h>

namespace
{
// logrotate counts old logs in an int.
constexpr quint64 MaxLogs = std::numeric_limits<int>::max();
// logrotate takes sizes up to 2^63 - 1 bytes; the spin box counts megabytes in
// an int, which stays below that.
constexpr quint64 MaxLogSizeMb = std::numeric_limits<int>::max();

const QString Rotate = QStringLiteral("rotate");
const QString Size = QStringLiteral("size");

// A logrotate size is a byte count with an optional unit (k or K, M, G); the panel
// counts whole megabytes, rounded up so that a small limit does not become none.
// The whole number of megabytes the panel shows for a size logrotate takes;
// nothing for one it cannot show exactly enough or logrotate refuses.
std::optional<quint64> sizeInMegabytes(QString value)
{
    static const QRegularExpression size(QStringLiteral("^[0-9]+[kKMG]?$"));
    if (!size.match(value).hasMatch()) {
        return std::nullopt;
    }
    quint64 bytesPerUnit = 1;
    const QChar unit = value.isEmpty() ? QChar() : value.back();
    if (unit == QLatin1Char('k') || unit == QLatin1Char('K')) {
        bytesPerUnit = 1024;
    } else if (unit == QLatin1Char('M')) {
        bytesPerUnit = 1024 * 1024;
    } else if (unit == QLatin1Char('G')) {
        bytesPerUnit = 1024 * 1024 * 1024;
    }
    if (bytesPerUnit != 1) {
        value.chop(1);
    }
    bool whole = false;
    const quint64 number = value.toULongLong(&whole);
    constexpr quint64 megabyte = 1024 * 1024;
    if (!whole || number > quint64(std::numeric_limits<qint64>::max()) / bytesPerUnit) {
        return std::nullopt;
    }
    if (bytesPerUnit >= megabyte) {
        const quint64 megabytes = number * (bytesPerUnit / megabyte);
        return megabytes <= MaxLogSizeMb ? std::optional<quint64>(megabytes) : std::nullopt;
    }
    const quint64 perMegabyte = megabyte / bytesPerUnit;
    return number / perMegabyte + (number % perMegabyte != 0 ? 1 : 0);
}

// A byte count as a value with two decimals (the locale's separator) and its unit.
std::pair<QString, QString> scaled(qint64 bytes)
{
    const QStringList units{i18n("B"), i18n("KB"), i18n("MB"), i18n("GB"), i18n("TB")};
    double value = double(bytes);
    int unit = 0;
    while (unit < units.size() - 1 && qint64(value / 1024) >= 1) {
        value /= 1024;
        ++unit;
    }
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return {locale.toString(value, 'f', 2), units.at(unit)};
}

}

LogRotationSettings::LogRotationSettings(QWidget *parent)
    : SettingsTab(parent)
    , ui(std::make_unique<Ui::LogRotationSettings>())
{
    ui->setupUi(this);
    // They show what the log is (a size, or the kind of a special file).
    ui->logSizeLabel->setTextFormat(Qt::PlainText);
    ui->diskSpaceLabel->setTextFormat(Qt::PlainText);
    placeProblems(ui->verticalLayout_2);
    // Every count and size logrotate takes that the panel can show.
    ui->numberOfLogs->setMaximum(int(MaxLogs));
    ui->logSize->setMinimum(0);
    const std::pair<QString, QString> periods[] = {
        {QStringLiteral("daily"), i18n("day")},
        {QStringLiteral("weekly"), i18n("week")},
        {QStringLiteral("monthly"), i18n("month")},
        {QStringLiteral("yearly"), i18n("year")},
    };
    for (const auto &[word, text] : periods) {
        ui->periodComboBox->addItem(text, word);
    }
    reset();
    statistics();
}

LogRotationSettings::~LogRotationSettings() = default;

void LogRotationSettings::reset()
{
    // Unchecking disables the controls through the form's connections.
    ui->numberCheckBox->setChecked(false);
    ui->logSizeCheckBox->setChecked(false);
    ui->periodCheckBox->setChecked(false);
}

void LogRotationSettings::on_logSizeCheckBox_stateChanged(int state)
{
    if (state == Qt::Checked) {
        ui->periodCheckBox->setChecked(false);
    }
}

void LogRotationSettings::on_periodCheckBox_stateChanged(int state)
{
    if (state == Qt::Checked) {
        ui->logSizeCheckBox->setChecked(false);
    }
}

void LogRotationSettings::load()
{
    reset();
    m_tree.reset();
    ui->_settingsPanel->setEnabled(false);
    m_parser = std::make_unique<LogRotateParser>(Paths::placed(Paths::LogRotateFile));
    m_parser->parse(runner(), [this](TreeItem *tree) {
        showRead(tree);
        m_parser.reset();
        Q_EMIT loaded();
    });
}

void LogRotationSettings::showRead(TreeItem *tree)
{
    const LogRotateParser &parser = *m_parser;
    m_tree.reset(tree);
    m_stamp = parser.stamp();
    // Saving edits this text, so that comments and lines the panel does not show survive.
    m_fileLines = m_tree ? parser.text().split(QLatin1Char('\n')) : QStringList();
    m_block = parser.shownBlock();
    if (!m_fileLines.isEmpty() && m_fileLines.constLast().isEmpty()) {
        m_fileLines.removeLast();
    }
    ui->_settingsPanel->setEnabled(m_tree != nullptr);
    const QString error = parser.errorString();
    ui->_settingsPanel->setToolTip(shownPlain(error));
    // The reader names the file in every problem but a missing or empty one.
    problems()->setProblems(error.isEmpty() || error.startsWith(parser.filePath()) ? error : i18n("%1: %2", QString(Paths::LogRotateFile), error));
    const TreeItem *block = m_tree ? m_tree->child(0) : nullptr;
    if (!block) {
        return;
    }
    // Walking in file order leaves the last of repeated directives shown: it is
    // the one logrotate applies, after the defaults before the block. A
    // script's lines are no directives.
    QVector<QPair<QString, QString>> directives = parser.defaults();
    for (int row = 0; row < block->childCount(); ++row) {
        directives.append({block->child(row)->data(0).toString(), block->child(row)->data(1).toString()});
    }
    QStringList notShown;
    bool inScript = false;
    for (const auto &[word, value] : std::as_const(directives)) {
        if (inScript || LogRotateParser::isScriptWord(word)) {
            inScript = word != QLatin1String("endscript");
            continue;
        }
        if (word == Rotate || word == Size) {
            bool whole = false;
            const quint64 count = value.toULongLong(&whole);
            const std::optional<quint64> megabytes = word == Size ? sizeInMegabytes(value) : std::nullopt;
            const bool showable = word == Size ? megabytes.has_value() : whole && count <= MaxLogs && !value.startsWith(QLatin1Char('+'));
            QCheckBox *box = word == Rotate ? ui->numberCheckBox : ui->logSizeCheckBox;
            box->setChecked(showable);
            if (!showable) {
                notShown << word + QLatin1Char(' ') + value;
            } else if (word == Rotate) {
                ui->numberOfLogs->setValue(int(count));
            } else {
                ui->logSize->setValue(int(*megabytes));
            }
        } else if (const int index = ui->periodComboBox->findData(word); index >= 0) {
            ui->periodComboBox->setCurrentIndex(index);
            ui->periodCheckBox->setChecked(true);
        }
    }
    if (!notShown.isEmpty()) {
        // Unchecked, the control leaves the directive as the file has it unless the administrator sets it.
        problems()->setProblems(problems()->problems() + (error.isEmpty() ? QString() : QStringLiteral("\n"))
                                + i18n("%1: the tab cannot show \"%2\"; the file keeps it unless you set the value here.",
                                       QString(Paths::LogRotateFile),
                                       notShown.join(QLatin1String("\", \""))));
    }
    m_loaded = shown();
}

LogRotationSettings::Shown LogRotationSettings::shown() const
{
    return {ui->numberCheckBox->isChecked() ? QString::number(ui->numberOfLogs->value()) : QString(),
            ui->logSizeCheckBox->isChecked() ? QString::number(ui->logSize->value()) : QString(),
            ui->periodCheckBox->isChecked() ? ui->periodComboBox->currentData().toString() : QString()};
}

bool LogRotationSettings::hasChanges() const
{
    return m_tree && !(shown() == m_loaded);
}

void LogRotationSettings::save(const std::function<void(bool saved)> &done)
{
    if (!m_tree || m_tree->childCount() != 1) {
        return done(true);
    }
    // Only what the administrator changed is rewritten: a value the controls
    // cannot show exactly ("2G", a size above the spin box) stays as the file has it.
    const Shown now = shown();
    const bool rotateChanged = now.rotate != m_loaded.rotate;
    const bool sizeChanged = now.size != m_loaded.size;
    const bool periodChanged = now.period != m_loaded.period;
    if (!rotateChanged && !sizeChanged && !periodChanged) {
        return done(true);
    }
    QStringList directives;
    if (rotateChanged && !now.rotate.isEmpty()) {
        directives << Rotate + QLatin1Char(' ') + now.rotate;
    }
    if (sizeChanged && !now.size.isEmpty()) {
        directives << Size + QLatin1Char(' ') + now.size + QLatin1Char('M');
    }
    if (periodChanged && !now.period.isEmpty()) {
        directives << now.period;
    }
    // Repeated directives go too, or the last of them would override the panel.
    // Every other line, comments included, stays as the administrator wrote it.
    const QStringList fileLines = RotationWriter::mergedLines(
        m_fileLines,
        directives,
        [&](const QString &word) {
            return (rotateChanged && word == Rotate) || (sizeChanged && word == Size) || (periodChanged && ui->periodComboBox->findData(word) >= 0);
        },
        m_block);
    QByteArray text;
    for (const QString &line : fileLines) {
        text += line.toUtf8();
        text += '\n';
    }
    // The edits were made on the file as read: changed since, it is not written over.
    if (!m_stamp.matches(Paths::placed(Paths::LogRotateFile))) {
        return written(CheckedWrite::changedOutside(Paths::LogRotateFile), fileLines, now, text, done);
    }
    if (ReviewChangesDialog::alwaysBeforeWriting()) {
        const FileRead::Result current = FileRead::regular(Paths::placed(Paths::LogRotateFile), FileRead::ConfigLimit);
        if (!ReviewChangesDialog::confirm(this, i18n("Review changes"), i18n("Write"), {{Paths::LogRotateFile, current.ok, current.data, false, text}})) {
            return done(false);
        }
    }
    // Kept in a snapshot once logrotate has accepted the file and it is going to be written.
    CheckedWrite::logrotate(Paths::LogRotateFile,
                            text,
                            m_stamp,
                            runner(),
                            keepSnapshot(this, runner(), std::make_shared<QString>()),
                            [this, fileLines, now, text, done](const ConfigCheck::Result &result) {
                                written(result, fileLines, now, text, done);
                            });
}

void LogRotationSettings::written(const ConfigCheck::Result &result,
                                  const QStringList &fileLines,
                                  const Shown &now,
                                  const QByteArray &text,
                                  const std::function<void(bool saved)> &done)
{
    if (result.changedOutside) {
        if (ChangedOutside::askReload(this, Paths::LogRotateFile)) {
            load();
        }
        return done(false);
    }
    if (!result.accepted) {
        MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), result.message);
        return done(false);
    }
    m_fileLines = fileLines;
    m_loaded = now;
    m_stamp = FileStamp::ofRead(Paths::placed(Paths::LogRotateFile), text);
    done(true);
}

void LogRotationSettings::abandonSave()
{
    SettingsTab::abandonSave();
    m_parser.reset();
}

void LogRotationSettings::statistics()
{
    const QFileInfo log(Paths::placed(Paths::MainEventLog));
    if (!log.exists()) {
        ui->logSizeLabel->setText(i18n("unknown"));
        ui->diskSpaceLabel->setText(i18n("unknown"));
        return;
    }
    // A size is a regular file's: anything else in the log's place is named.
    struct stat status;
    const bool known = ::stat(QFile::encodeName(log.filePath()).constData(), &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        const QString kind = !known                              ? i18n("unknown")
            : S_ISDIR(status.st_mode)                            ? i18n("a folder, not a log file")
            : S_ISFIFO(status.st_mode)                           ? i18n("a FIFO, not a log file")
            : S_ISSOCK(status.st_mode)                           ? i18n("a socket, not a log file")
            : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? i18n("a device, not a log file")
                                                                 : i18n("not a regular file");
        ui->logSizeLabel->setText(log.isSymLink() ? i18n("a link to %1", kind) : kind);
    } else {
        const auto [size, sizeUnit] = scaled(qint64(status.st_size));
        ui->logSizeLabel->setText(i18n("%1 %2", size, sizeUnit));
    }
    const QStorageInfo storage(log.absolutePath());
    const auto [total, totalUnit] = scaled(storage.bytesTotal());
    const auto [available, availableUnit] = scaled(storage.bytesAvailable());
    ui->diskSpaceLabel->setText(i18n("%1 %2 / %3 %4", total, totalUnit, available, availableUnit));
}
