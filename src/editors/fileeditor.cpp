#include "fileeditor.h"
#include "messagebox.h"

#include "quoradmineventslog.h"

#include "ui_fileeditor.h"

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
    const QByteArray text = ui->textEdit->toPlainText().toUtf8();
    // A file of the syslog-ng include folder is used only when syslog-ng accepts it.
    const bool syslogNgFile = m_path.startsWith(QString(Paths::SyslogNgConfDir) + QLatin1Char('/'));
    // Kept in a snapshot once the text has been accepted and is going to be written.
    QString snapshot;
    const CheckedWrite::BeforeWrite keepSnapshot = [this, &snapshot] {
        return snapshotBeforeWrite(this, &snapshot);
    };
    QStringList changed;
    ConfigCheck::Result written{true, QString()};
    if (syslogNgFile) {
        written = CheckedWrite::syslogNg({CheckedWrite::Change{m_path, text}}, keepSnapshot, &changed);
    } else {
        const FileRead::Result onDisk = FileRead::regular(Paths::placed(m_path), FileRead::ConfigLimit);
        if (!(onDisk.ok && onDisk.data == text)) {
            QString reason;
            written = !keepSnapshot()                                             ? ConfigCheck::Result{false, CheckedWrite::stoppedBeforeWrite()}
                : CheckedWrite::replaceFile(Paths::placed(m_path), text, &reason) ? ConfigCheck::Result{true, QString()}
                                                                                  : ConfigCheck::Result{false, CheckedWrite::writeFailure(m_path, reason)};
            changed << m_path;
        }
    }
    if (!written.accepted) {
        // The editor stays open so that the text is not lost.
        MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), written.message);
        return;
    }
    QDialog::accept();
    Q_EMIT fileWritten();
    // The edited file takes effect only when syslog-ng reads it again: restarted
    // exactly when Apply would restart it, when one of its files changed.
    if (SngHandler::Units units = SngHandler::unitsReading(changed)) {
        SngHandler::instance()->restart(units, snapshot);
    }
}
