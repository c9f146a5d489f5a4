#include "problemsmessage.h"

#include "platform/controlescape.h"

#include <KLocalizedString>
#include <KMessageWidget>

#include <QAction>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

ProblemsMessage::ProblemsMessage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("problemsMessage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_message = new KMessageWidget(this);
    m_message->setObjectName(QStringLiteral("problemsText"));
    m_message->setMessageType(KMessageWidget::Warning);
    m_message->setWordWrap(true);
    m_message->setCloseButtonVisible(false);
    layout->addWidget(m_message);
    m_detailsAction = new QAction(i18nc("@action:button the whole list of problems", "Details"), m_message);
    m_detailsAction->setObjectName(QStringLiteral("problemsDetails"));
    m_detailsAction->setCheckable(true);
    connect(m_detailsAction, &QAction::toggled, this, &ProblemsMessage::setDetailsShown);
    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(QStringLiteral("problemsDetailsText"));
    m_details->setReadOnly(true);
    m_details->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_details->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_details->setMaximumHeight(m_details->fontMetrics().lineSpacing() * 12);
    m_details->hide();
    layout->addWidget(m_details);
    hide();
}

ProblemsMessage::~ProblemsMessage() = default;

void ProblemsMessage::setProblems(const QString &lines)
{
    // Tools quote the files: their control characters are shown as escapes.
    m_problems = ControlEscape::escaped(lines);
    m_detailsFilled = false;
    m_details->clear();
    const QStringList all = m_problems.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList shown;
    bool cut = false;
    for (int i = 0; i < all.size() && i < ShownProblems; ++i) {
        QString line = all.at(i);
        if (line.size() > ShownLineLength) {
            line = line.left(ShownLineLength - 1) + QChar(0x2026);
            cut = true;
        }
        shown << line;
    }
    if (all.size() > ShownProblems) {
        shown << i18np("and %1 more problem (see Details)", "and %1 more problems (see Details)", all.size() - ShownProblems);
    }
    m_shown = shown.join(QLatin1Char('\n'));
    m_message->setText(m_shown.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>")));
    const bool detailed = all.size() > ShownProblems || cut;
    if (detailed && !m_message->actions().contains(m_detailsAction)) {
        m_message->addAction(m_detailsAction);
    } else if (!detailed && m_message->actions().contains(m_detailsAction)) {
        m_message->removeAction(m_detailsAction);
    }
    if (!detailed) {
        m_detailsAction->setChecked(false);
    }
    setDetailsShown(detailed && m_detailsAction->isChecked());
    setVisible(!lines.isEmpty());
}

bool ProblemsMessage::detailsShown() const
{
    return !m_details->isHidden();
}

void ProblemsMessage::setDetailsShown(bool shown)
{
    if (shown && !m_detailsFilled) {
        m_details->setPlainText(m_problems);
        m_detailsFilled = true;
    }
    m_detailsAction->setChecked(shown);
    m_details->setVisible(shown);
}
