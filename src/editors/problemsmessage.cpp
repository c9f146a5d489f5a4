#include "problemsmessage.h"

ProblemsMessage::ProblemsMessage(QWidget *parent)
    : KMessageWidget(parent)
{
    setObjectName(QStringLiteral("problemsMessage"));
    setMessageType(KMessageWidget::Warning);
    setWordWrap(true);
    setCloseButtonVisible(false);
    hide();
}

ProblemsMessage::~ProblemsMessage() = default;

void ProblemsMessage::setProblems(const QString &lines)
{
    m_problems = lines;
    setText(lines.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>")));
    setVisible(!lines.isEmpty());
}
