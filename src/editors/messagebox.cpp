#include "messagebox.h"

#include <KMessageBox>

#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTextBrowser>

namespace
{
// Sets the box's labels and details to plain text when it is shown, before
// anything of them is drawn: KMessageBox gives no option for it.
class PlainTextOnShow : public QObject
{
public:
    PlainTextOnShow(QObject *parent, const QString &details)
        : QObject(parent)
        , m_details(details)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            const auto labels = static_cast<QWidget *>(watched)->findChildren<QLabel *>();
            for (QLabel *label : labels) {
                label->setTextFormat(Qt::PlainText);
            }
            const auto browsers = static_cast<QWidget *>(watched)->findChildren<QTextBrowser *>();
            for (QTextBrowser *browser : browsers) {
                browser->setPlainText(m_details);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QString m_details;
};

QStyle::StandardPixmap pixmapOf(MessageBox::Kind kind)
{
    switch (kind) {
    case MessageBox::Kind::Information:
        return QStyle::SP_MessageBoxInformation;
    case MessageBox::Kind::Warning:
        return QStyle::SP_MessageBoxWarning;
    case MessageBox::Kind::Error:
        return QStyle::SP_MessageBoxCritical;
    case MessageBox::Kind::Question:
        break;
    }
    return QStyle::SP_MessageBoxQuestion;
}

// Named as KMessageBox names its own boxes of the kind.
QString objectNameOf(MessageBox::Kind kind)
{
    switch (kind) {
    case MessageBox::Kind::Information:
        return QStringLiteral("information");
    case MessageBox::Kind::Warning:
        return QStringLiteral("warning");
    case MessageBox::Kind::Error:
        return QStringLiteral("error");
    case MessageBox::Kind::Question:
        break;
    }
    return QStringLiteral("question");
}
}

namespace MessageBox
{
QDialogButtonBox::StandardButton ask(QWidget *parent,
                                     Kind kind,
                                     const QString &title,
                                     const QString &text,
                                     QDialogButtonBox::StandardButtons buttons,
                                     QDialogButtonBox::StandardButton defaultButton,
                                     const QString &details,
                                     const std::function<void(QDialogButtonBox *)> &prepare)
{
    Q_ASSERT(parent);
    // KMessageBox deletes the box when it closes.
    auto *dialog = new QDialog(parent, Qt::Dialog);
    dialog->setObjectName(objectNameOf(kind));
    dialog->setWindowTitle(title);
    dialog->setModal(true);
    auto *buttonBox = new QDialogButtonBox(buttons, dialog);
    if (QPushButton *button = buttonBox->button(defaultButton)) {
        button->setDefault(true);
        button->setFocus();
    }
    if (prepare) {
        prepare(buttonBox);
    }
    // The texts name paths and quote files and tools: KMessageBox would guess
    // from their first line whether they are rich text.
    dialog->installEventFilter(new PlainTextOnShow(dialog, details));
    const QIcon icon = dialog->style()->standardIcon(pixmapOf(kind), nullptr, dialog);
    return KMessageBox::createKMessageBox(dialog, buttonBox, icon, text, {}, {}, nullptr, KMessageBox::Notify, details);
}

void show(QWidget *parent, Kind kind, const QString &title, const QString &text)
{
    ask(parent, kind, title, text, QDialogButtonBox::Ok, QDialogButtonBox::Ok);
}

bool confirm(QWidget *parent, const QString &title, const QString &text)
{
    return ask(parent, Kind::Question, title, text, QDialogButtonBox::Yes | QDialogButtonBox::No, QDialogButtonBox::No) == QDialogButtonBox::Yes;
}
} // namespace MessageBox
