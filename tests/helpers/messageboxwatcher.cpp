#include "messageboxwatcher.h"

#include <QAbstractButton>
#include <QApplication>
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
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (!box) {
        if (m_dialogHandler) {
            m_dialogHandler(modal);
        }
        return;
    }
    if (box->property("quorAnswered").toBool()) {
        return;
    }
    box->setProperty("quorAnswered", true);
    m_boxes.append({box->windowTitle(), box->text(), box->icon(), box->standardButton(box->defaultButton())});
    if (m_echo) {
        const QString line = QStringLiteral("BOX\t%1\t%2\n").arg(box->windowTitle(), QString(box->text()).replace(QLatin1Char('\n'), QLatin1String("\\n")));
        fputs(line.toUtf8().constData(), stdout);
        fflush(stdout);
    }
    if (m_beforeAnswer) {
        m_beforeAnswer(m_boxes.constLast());
    }
    QAbstractButton *button = nullptr;
    if (!m_answers.isEmpty()) {
        button = box->button(m_answers.takeFirst());
    }
    if (!button) {
        button = box->button(QMessageBox::No);
    }
    if (!button) {
        button = box->button(QMessageBox::Ok);
    }
    if (button) {
        button->click();
    } else {
        box->reject();
    }
}
