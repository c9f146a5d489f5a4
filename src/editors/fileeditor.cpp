#include "fileeditor.h"

#include "ui_fileeditor.h"

#include "platform/configsnapshot.h"
#include "platform/filewrite.h"
#include "platform/paths.h"
#include "services/snghandler.h"

#include <KLocalizedString>

#include <QFile>
#include <QMessageBox>
#include <QShowEvent>

FileEditor::FileEditor(const QString &path, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::FileEditor>())
    , m_path(path)
{
    ui->setupUi(this);
    loadFile();
}

FileEditor::~FileEditor() = default;

void FileEditor::loadFile()
{
    ui->textEdit->clear();
    QFile file(Paths::placed(m_path));
    if (file.open(QIODevice::ReadOnly)) {
        ui->textEdit->setPlainText(QString::fromUtf8(file.readAll()));
    }
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
    ConfigSnapshot::take();
    if (!FileWrite::replaceFile(Paths::placed(m_path), ui->textEdit->toPlainText().toUtf8())) {
        // The editor stays open so that the text is not lost.
        QMessageBox::critical(this, i18n("Error"), i18n("Could not write the file %1.", m_path));
        return;
    }
    QDialog::accept();
    Q_EMIT fileWritten();
    // The edited file takes effect only when a running syslog-ng reads it again.
    SngHandler *handler = SngHandler::instance();
    if (handler->status()) {
        handler->syslogNgRestart();
    }
}
