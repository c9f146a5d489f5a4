#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class KMessageWidget;
class QAction;
class QPlainTextEdit;

// The line above a page or tab that names the files which could not be read
// and why, so that what the page shows is never taken for the whole file.
// Only the first few problems are shown, each cut to a readable length, with
// "and N more": a label holding thousands of wrapped lines would keep the
// page busy for minutes. "Details" opens the whole list below, in a text view
// that is filled only then. The readers log every problem as they meet it.
class ProblemsMessage : public QWidget
{
    Q_OBJECT
public:
    // How many problems the message shows, and how long a shown line may be.
    static constexpr int ShownProblems = 5;
    static constexpr int ShownLineLength = 300;

    explicit ProblemsMessage(QWidget *parent = nullptr);
    ~ProblemsMessage() override;

    // One problem per line; hidden when there are none.
    void setProblems(const QString &lines);
    // The problems as set, as plain text.
    QString problems() const
    {
        return m_problems;
    }
    // The text of the message as shown (the capped list), as plain text.
    QString shownText() const
    {
        return m_shown;
    }
    // Whether the whole list is open below the message.
    bool detailsShown() const;
    void setDetailsShown(bool shown);

private:
    KMessageWidget *m_message = nullptr; // Owned by this widget.
    QAction *m_detailsAction = nullptr; // Owned by the message.
    QPlainTextEdit *m_details = nullptr; // Owned by this widget; filled when first shown.
    bool m_detailsFilled = false;
    QString m_problems;
    QString m_shown;
};
