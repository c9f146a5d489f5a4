#include "messageboxwatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

#include <cstdio>

MessageBoxWatcher::MessageBoxWatcher()
{
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxWatcher::poll);
    m_timer.start(10);
}

MessageBoxWatcher::~MessageBoxWatcher() = default;

void MessageBoxWatcher::queueAnswer(QMessageBox::StandardButton button)
{
    m_answers.append(button);
}

void MessageBoxWatcher::setDialogHandler(std::function<bool(QWidget *)> handler)
{
    m_dialogHandler = std::move(handler);
}

QStringList MessageBoxWatcher::titles() const
{
    QStringList result;
    for (const Box &box : m_boxes) {
        result << box.title;
    }
    return result;
}

QStringList MessageBoxWatcher::texts() const
{
    QStringList result;
    for (const Box &box : m_boxes) {
        result << box.text;
    }
    return result;
}

void MessageBoxWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        return;
    }
    // KMessageBox shows a plain QDialog named after the kind of box, holding
    // the icon, the text and a button box.
    auto *box = modal->metaObject() == &QDialog::staticMetaObject ? static_cast<QDialog *>(modal) : nullptr;
    auto *buttons = box ? box->findChild<QDialogButtonBox *>() : nullptr;
    if (!buttons) {
        if (m_dialogHandler) {
            m_dialogHandler(modal);
        }
        return;
    }
    if (box->property("quorAnswered").toBool()) {
        return;
    }
    box->setProperty("quorAnswered", true);
    QString text;
    for (const QLabel *label : box->findChildren<QLabel *>()) {
        if (!label->text().isEmpty()) {
            text = label->text();
            break;
        }
    }
    auto defaultButton = QMessageBox::NoButton;
    for (QAbstractButton *button : buttons->buttons()) {
        auto *push = qobject_cast<QPushButton *>(button);
        if (push && push->isDefault()) {
            defaultButton = QMessageBox::StandardButton(int(buttons->standardButton(button)));
        }
    }
    m_boxes.append({box->windowTitle(), text, defaultButton});
    if (m_echo) {
        const QString line = QStringLiteral("BOX\t%1\t%2\n").arg(box->windowTitle(), QString(text).replace(QLatin1Char('\n'), QLatin1String("\\n")));
        fputs(line.toUtf8().constData(), stdout);
        fflush(stdout);
    }
    if (m_beforeAnswer) {
        m_beforeAnswer(m_boxes.constLast());
    }
    QAbstractButton *button = nullptr;
    if (!m_answers.isEmpty()) {
        button = buttons->button(QDialogButtonBox::StandardButton(int(m_answers.takeFirst())));
    }
    if (!button) {
        button = buttons->button(QDialogButtonBox::No);
    }
    if (!button) {
        button = buttons->button(QDialogButtonBox::Ok);
    }
    if (button) {
        button->click();
    } else {
        box->reject();
    }
}
