#pragma once

#include "platform/process.h"

#include <QWidget>

class AsyncProcess;

// A tab that moves the configuration in or out with the configuration manager
// tool: the tool runs on the event loop, one run at a time, and goes with the tab.
class TransferTab : public QWidget
{
    Q_OBJECT
public:
    explicit TransferTab(QWidget *parent = nullptr);

    // The tool runs.
    bool isBusy() const;
    // Kills the tool; the step that started it gets no result.
    void abandon();

Q_SIGNALS:
    // A run and what its result started right away have ended, and the tool runs no more.
    void idle();

protected:
    // Starts each program on this tab; idle() follows its done when nothing else runs then.
    Process::Runner runner();

private:
    AsyncProcess *m_process = nullptr; // Owned by this tab: its program goes with it.
};
