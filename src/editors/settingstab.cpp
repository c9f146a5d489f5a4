#include "settingstab.h"

#include "problemsmessage.h"

#include "platform/asyncprocess.h"

#include <QBoxLayout>

SettingsTab::SettingsTab(QWidget *parent)
    : QWidget(parent)
    , m_problems(new ProblemsMessage(this))
    , m_process(new AsyncProcess(this))
{
}

SettingsTab::~SettingsTab() = default;

void SettingsTab::abandonSave()
{
    m_process->abandon();
}

void SettingsTab::placeProblems(QBoxLayout *layout)
{
    layout->insertWidget(0, m_problems);
}

Process::Runner SettingsTab::runner() const
{
    return m_process->runner();
}
