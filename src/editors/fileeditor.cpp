#include "fileeditor.h"
#include "busycursor.h"
#include "messagebox.h"

#include "quoradmineventslog.h"

#include "ui_fileeditor.h"

#include "platform/asyncprocess.h"
#include "platform/checkedwrite.h"
#include "platform/fileread.h"
#include "platform/paths.h"
#include "platform/textdecode.h"
#include "problemsmessage.h"
#include "services/snghandler.h"
#include "snapshotbeforewrite.h"

#include <KLocalizedString>

#include <QPushButton>
#include <QShowEvent>
#include <QtDebug>

FileEditor::FileEditor(const QString &path, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::FileEditor>())
    , m_path(path)
{
    ui->setupUi(this);
    m_problems = new ProblemsMessage(this);
    ui->verticalLayout_2->insertWidget(0, m_problems);
    m_process = new AsyncProcess(this);
}

FileEditor::~FileEditor() = default;

void FileEditor::loadFile()
{
    ui->textEdit->clear();
    const QString placed = Paths::placed(m_path);
    const FileRead::Result read = FileRead::regular(placed, FileRead::ConfigLimit);
    QString text;
    QString reason = read.error;
    const bool readable = read.missing || (read.ok && TextDecode::utf8(read.data, &text, &reason));
    if (!readable) {
        qCWarning(QUOR_ADMIN_EVENTS).noquote() << placed + QLatin1String(": ") + reason;
    }
    m_problems->setProblems(readable ? QString() : i18n("%1 cannot be edited here: %2", m_path, reason));
    ui->textEdit->setPlainText(text);
    // Accepting would replace the file with the empty text shown.
    m_readable = readable;
    ui->textEdit->setReadOnly(!readable);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(readable);
}

void FileEditor::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        loadFile();
    }
    QDialog::showEvent(event);
}

void FileEditor::setBusy(bool busy)
{
    m_busy = busy;
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!busy && m_readable);
    ui->textEdit->setReadOnly(busy || !m_readable);
    showBusyCursor(this, busy);
}

void FileEditor::accept()
{
    if (!m_readable || m_busy) {
        return;
    }
    setBusy(true);
    const QByteArray text = ui->textEdit->toPlainText().toUtf8();
    // A file of the syslog-ng include folder is used only when syslog-ng accepts it.
    const bool syslogNgFile = m_path.startsWith(QString(Paths::SyslogNgConfDir) + QLatin1Char('/'));
    // Kept in a snapshot once the text has been accepted and is going to be written.
    const auto snapshot = std::make_shared<QString>();
    const CheckedWrite::BeforeWrite beforeWrite = keepSnapshot(this, m_process->runner(), snapshot);
    if (syslogNgFile) {
        CheckedWrite::syslogNg({CheckedWrite::Change{m_path, text}},
                               m_process->runner(),
                               beforeWrite,
                               [this, snapshot](const ConfigCheck::Result &written, const QStringList &changed) {
                                   saved(written, changed, *snapshot);
                               });
        return;
    }
    const FileRead::Result onDisk = FileRead::regular(Paths::placed(m_path), FileRead::ConfigLimit);
    if (onDisk.ok && onDisk.data == text) {
        return saved({true, QString()}, {}, QString());
    }
    beforeWrite([this, text, snapshot](bool goOn) {
        QString reason;
        const ConfigCheck::Result written = !goOn                             ? ConfigCheck::Result{false, CheckedWrite::stoppedBeforeWrite()}
            : CheckedWrite::replaceFile(Paths::placed(m_path), text, &reason) ? ConfigCheck::Result{true, QString()}
                                                                              : ConfigCheck::Result{false, CheckedWrite::writeFailure(m_path, reason)};
        saved(written, {m_path}, *snapshot);
    });
}

void FileEditor::saved(const ConfigCheck::Result &written, const QStringList &changed, const QString &snapshot)
{
    setBusy(false);
    if (!written.accepted) {
        // The editor stays open so that the text is not lost.
        MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), written.message);
        Q_EMIT saveEnded(false);
        return;
    }
    QDialog::accept();
    Q_EMIT fileWritten();
    // The edited file takes effect only when syslog-ng reads it again: restarted
    // exactly when Apply would restart it, when one of its files changed.
    if (SngHandler::Units units = SngHandler::unitsReading(changed)) {
        SngHandler::instance()->restart(units, snapshot);
    }
    Q_EMIT saveEnded(true);
}

void FileEditor::reject()
{
    m_process->abandon();
    setBusy(false);
    QDialog::reject();
}
