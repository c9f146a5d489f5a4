#include "filewidget.h"

#include "editors/plaintext.h"
#include "ui_filewidget.h"

#include "editors/messagebox.h"
#include "platform/paths.h"

#include <KLocalizedString>

#include <QFileDialog>
#include <QStyle>
#include <QStyleOptionFrame>

FileWidget::FileWidget(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::FileWidget>())
{
    ui->setupUi(this);
    ui->fileLabel->setText(i18n("File:"));
    ui->fileToolButton->setIcon(QIcon::fromTheme(QStringLiteral("document-folder"), QIcon::fromTheme(QStringLiteral("document-open-folder"))));
    connect(ui->fileLineEdit, &QLineEdit::textChanged, this, &FileWidget::textChanged);
    connect(ui->fileToolButton, &QToolButton::clicked, this, &FileWidget::browse);
}

FileWidget::~FileWidget() = default;

QString FileWidget::text() const
{
    return ui->fileLineEdit->text();
}

void FileWidget::clear()
{
    ui->fileLineEdit->clear();
}

bool FileWidget::checkSelected()
{
    if (!text().isEmpty()) {
        return true;
    }
    MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), i18n("No file selected"));
    return false;
}

void FileWidget::showFailure(QWidget *parent, const QString &headline, const QString &reason)
{
    MessageBox::show(parent, MessageBox::Kind::Error, i18n("Error"), reason.isEmpty() ? headline : headline + QLatin1String("\n\n") + reason);
}

void FileWidget::setHint(const QString &text)
{
    ui->fileLineEdit->setPlaceholderText(text);
    // The field is wide enough for the whole hint, whose end is the example.
    QStyleOptionFrame frame;
    frame.initFrom(ui->fileLineEdit);
    const QSize room(ui->fileLineEdit->fontMetrics().horizontalAdvance(text) + 2 * ui->fileLineEdit->fontMetrics().averageCharWidth(),
                     ui->fileLineEdit->sizeHint().height());
    ui->fileLineEdit->setMinimumWidth(ui->fileLineEdit->style()->sizeFromContents(QStyle::CT_LineEdit, &frame, room, ui->fileLineEdit).width());
    // Also read whole where the screen is narrower still.
    ui->fileLineEdit->setToolTip(shownPlain(text));
}

void FileWidget::browse()
{
    // The field holds paths of the managed system: the dialogs open at its
    // root and their answer is given back as the system knows it.
    const QString start = Paths::systemRoot().isEmpty() ? QString() : Paths::placed(QStringLiteral("/"));
    const QString chosen = m_saveMode ? QFileDialog::getSaveFileName(this, i18n("Choose file"), start, QStringLiteral("*.tar.gz"))
                                      : QFileDialog::getOpenFileName(this, QString(), start, QString());
    // A cancelled dialog gives an empty path, which replaces the old one on purpose.
    ui->fileLineEdit->setText(chosen.isEmpty() ? QString() : Paths::unplaced(chosen));
}
