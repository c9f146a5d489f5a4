#pragma once

#include <KMessageWidget>

// The line above a page or tab that names the files which could not be read
// and why, so that what the page shows is never taken for the whole file.
class ProblemsMessage : public KMessageWidget
{
    Q_OBJECT
public:
    explicit ProblemsMessage(QWidget *parent = nullptr);
    ~ProblemsMessage() override;

    // One problem per line; hidden when there are none.
    void setProblems(const QString &lines);
    // The problems as set, as plain text.
    QString problems() const
    {
        return m_problems;
    }

private:
    QString m_problems;
};
