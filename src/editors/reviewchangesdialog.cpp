#include "reviewchangesdialog.h"

#include "busycursor.h"

#include "platform/asyncprocess.h"
#include "platform/controlescape.h"

#include <KConfigGroup>
#include <KLocalizedString>
#include <KSharedConfig>
#include <KSyntaxHighlighting/Definition>
#include <KSyntaxHighlighting/Repository>
#include <KSyntaxHighlighting/SyntaxHighlighter>
#include <KSyntaxHighlighting/Theme>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>

namespace
{
const QString ConfigName = QStringLiteral("quor-admin-eventsrc");
const QString ReviewGroup = QStringLiteral("Review");
const char *const AlwaysKey = "AlwaysBeforeWriting";

// Made once and kept for the process: reading the definitions costs more
// than a dialog, and nothing is left to tear down when the module goes.
KSyntaxHighlighting::Repository &repository()
{
    static auto *repository = new KSyntaxHighlighting::Repository;
    return *repository;
}

QString stateText(const QByteArray &diff)
{
    if (diff.startsWith("--- /dev/null")) {
        return i18nc("a file a write makes", "new");
    }
    if (diff.contains("\n+++ /dev/null")) {
        return i18nc("a file a write deletes", "deleted");
    }
    return i18nc("a file a write changes", "changed");
}
}

ReviewChangesDialog::ReviewChangesDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("reviewChangesDialog"));
    setWindowTitle(i18n("Review changes"));
    auto *layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    m_summary->setTextFormat(Qt::PlainText);
    layout->addWidget(m_summary);

    auto *splitter = new QSplitter(this);
    m_files = new QListWidget(splitter);
    m_files->setObjectName(QStringLiteral("reviewFilesList"));
    m_diff = new QPlainTextEdit(splitter);
    m_diff->setObjectName(QStringLiteral("reviewDiffView"));
    m_diff->setReadOnly(true);
    m_diff->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_diff->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *highlighter = new KSyntaxHighlighting::SyntaxHighlighter(m_diff->document());
    highlighter->setDefinition(repository().definitionForName(QStringLiteral("Diff")));
    highlighter->setTheme(repository().defaultTheme(palette().color(QPalette::Base).lightness() < 128 ? KSyntaxHighlighting::Repository::DarkTheme
                                                                                                      : KSyntaxHighlighting::Repository::LightTheme));
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({320, 580});
    layout->addWidget(splitter, 1);
    connect(m_files, &QListWidget::currentRowChanged, this, &ReviewChangesDialog::showFile);

    m_always = new QCheckBox(i18n("Show the changes before every Apply"), this);
    m_always->setObjectName(QStringLiteral("reviewAlwaysCheckBox"));
    m_always->setChecked(alwaysBeforeWriting());
    connect(m_always, &QCheckBox::toggled, this, &ReviewChangesDialog::setAlwaysBeforeWriting);
    layout->addWidget(m_always);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
    resize(900, 600);
    m_diffRun = new AsyncProcess(this);
}

ReviewChangesDialog::~ReviewChangesDialog() = default;

void ReviewChangesDialog::setFiles(const QList<UnifiedDiff::File> &files)
{
    setBusy(true);
    UnifiedDiff::of(files, m_diffRun->runner(), [this](const UnifiedDiff::Diffs &diffs) {
        setBusy(false);
        setDiff(diffs.ok ? diffs.text : QByteArray());
        if (!diffs.ok) {
            m_summary->setText(i18n("The changes cannot be shown: %1", diffs.errorText));
        }
        Q_EMIT diffShown(diffs.ok);
    });
}

void ReviewChangesDialog::setBusy(bool busy)
{
    m_busy = busy;
    // Nothing is written before the administrator has seen what.
    if (QPushButton *write = m_buttons->button(QDialogButtonBox::Ok)) {
        write->setEnabled(!busy);
    }
    showBusyCursor(this, busy);
}

void ReviewChangesDialog::setDiff(const QByteArray &text)
{
    m_files->clear();
    m_diffs.clear();
    const QList<QPair<QString, QByteArray>> files = UnifiedDiff::split(text);
    for (const auto &[path, diff] : files) {
        m_files->addItem(i18nc("a file and what a write does to it", "%1 (%2)", path, stateText(diff)));
        m_files->item(m_files->count() - 1)->setData(Qt::UserRole, path);
        m_diffs.append(diff);
    }
    m_summary->setText(files.isEmpty() ? i18n("Nothing would change: every file holds what would be written.")
                                       : i18np("One file would change:", "%1 files would change:", files.size()));
    if (files.isEmpty()) {
        m_diff->clear();
    } else {
        m_files->setCurrentRow(0);
        showFile(0);
    }
}

void ReviewChangesDialog::showFile(int row)
{
    // A file's control characters would erase or reorder what the administrator reviews.
    m_diff->setPlainText(row >= 0 && row < m_diffs.size() ? ControlEscape::escaped(QString::fromUtf8(m_diffs.at(row))) : QString());
}

void ReviewChangesDialog::setWriteButton(const QString &writeText)
{
    m_buttons->setStandardButtons(writeText.isEmpty() ? QDialogButtonBox::Close : QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    if (!writeText.isEmpty()) {
        m_buttons->button(QDialogButtonBox::Ok)->setText(writeText);
        m_buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
    }
    setBusy(m_busy);
}

QStringList ReviewChangesDialog::paths() const
{
    QStringList result;
    for (int row = 0; row < m_files->count(); ++row) {
        result << m_files->item(row)->data(Qt::UserRole).toString();
    }
    return result;
}

bool ReviewChangesDialog::confirm(QWidget *parent, const QString &title, const QString &writeText, const QList<UnifiedDiff::File> &files)
{
    if (std::none_of(files.cbegin(), files.cend(), [](const UnifiedDiff::File &file) {
            return file.changes();
        })) {
        return true;
    }
    ReviewChangesDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setWriteButton(writeText);
    dialog.setFiles(files);
    return dialog.exec() == QDialog::Accepted;
}

bool ReviewChangesDialog::alwaysBeforeWriting()
{
    return KSharedConfig::openConfig(ConfigName)->group(ReviewGroup).readEntry(AlwaysKey, false);
}

void ReviewChangesDialog::setAlwaysBeforeWriting(bool always)
{
    KConfigGroup group = KSharedConfig::openConfig(ConfigName)->group(ReviewGroup);
    group.writeEntry(AlwaysKey, always);
    group.sync();
}
