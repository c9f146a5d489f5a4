#include "transfertab.h"

#include "platform/asyncprocess.h"

TransferTab::TransferTab(QWidget *parent)
    : QWidget(parent)
    , m_process(new AsyncProcess(this))
{
}

bool TransferTab::isBusy() const
{
    return m_process->isRunning();
}

void TransferTab::abandon()
{
    m_process->abandon();
}

Process::Runner TransferTab::runner()
{
    return [this](const QString &program, const QStringList &arguments, int timeoutMs, Process::Channels channels, const Process::Done &done) {
        m_process->runner()(program, arguments, timeoutMs, channels, [this, done](const Process::Result &result) {
            done(result);
            if (!isBusy()) {
                Q_EMIT idle();
            }
        });
    };
}
