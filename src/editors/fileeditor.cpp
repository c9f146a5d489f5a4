#include "fileeditor.h"

#include "quoradmineventslog.h"

#include "ui_fileeditor.h"

#include "platform/checkedwrite.h"
#include "platform/configsnapshot.h"
#include "platform/fileread.h"
#include "platform/paths.h"
#include "platform/textdecode.h"
#include "problemsmessage.h"
#include "services/snghandler.h"

#include <KLocalizedString>

#include <QMessageBox>
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

void FileEditor::accept()
{
    if (!m_readable) {
        return;
    }
    ConfigSnapshot::take();
    const QByteArray text = ui->textEdit->toPlainText().toUtf8();
    // A file of the syslog-ng include folder is used only when syslog-ng accepts it.
    const bool syslogNgFile = m_path.startsWith(QString(Paths::SyslogNgConfDir) + QLatin1Char('/'));
    QString reason;
    const ConfigCheck::Result written = syslogNgFile
        ? CheckedWrite::syslogNg({CheckedWrite::Change{m_path, text}})
        : ConfigCheck::Result{CheckedWrite::replaceFile(Paths::placed(m_path), text, &reason), CheckedWrite::writeFailure(m_path, reason)};
    if (!written.accepted) {
        // The editor stays open so that the text is not lost.
        QMessageBox::critical(this, i18n("Error"), written.message);
        return;
    }
    QDialog::accept();
    Q_EMIT fileWritten();
    // The edited file takes effect only when a running syslog-ng reads it again.
    SngHandler *handler = SngHandler::instance();
    if (syslogNgFile && handler->status()) {
        handler->syslogNgRestart();
    }
}
