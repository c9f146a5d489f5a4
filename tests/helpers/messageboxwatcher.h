#pragma once

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers modal message boxes (the dialogs KMessageBox builds) while it lives:
// records each box's title and text and presses the next queued answer (OK for
// one-button boxes, No for questions when nothing is queued). Answers name
// standard buttons; a box's buttons are those of its QDialogButtonBox, whose
// values are the same. Other modal dialogs go to the optional handler.
class MessageBoxWatcher : public QObject
{
    Q_OBJECT
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::StandardButton defaultButton; // what Enter presses
    };

    MessageBoxWatcher();
    ~MessageBoxWatcher() override;

    void queueAnswer(QMessageBox::StandardButton button);
    // Called for a modal widget that is not a message box; return true once handled.
    void setDialogHandler(std::function<bool(QWidget *)> handler);
    // Called with each message box as it is shown, before it is answered.
    void setBeforeAnswer(std::function<void(const Box &)> hook)
    {
        m_beforeAnswer = std::move(hook);
    }
    // Also prints each box as "BOX<tab>title<tab>text" on standard output at once,
    // for child processes that end before they could report.
    void setEcho(bool echo)
    {
        m_echo = echo;
    }

    QList<Box> boxes() const
    {
        return m_boxes;
    }
    QStringList titles() const;
    QStringList texts() const;
    void clear()
    {
        m_boxes.clear();
    }

private:
    void poll();

    QTimer m_timer;
    QList<Box> m_boxes;
    QList<QMessageBox::StandardButton> m_answers;
    std::function<bool(QWidget *)> m_dialogHandler;
    std::function<void(const Box &)> m_beforeAnswer;
    bool m_echo = false;
};
