#pragma once

#include "platform/process.h"

#include <QWidget>

#include <functional>

class AsyncProcess;
class ProblemsMessage;
class QBoxLayout;

// A tab of the settings window that edits one file. The window loads, saves
// and abandons its tabs through this interface. A tab names what it could not
// read in its problems line and runs its programs on the event loop, each with
// the tab's own process, which goes with the tab.
class SettingsTab : public QWidget
{
    Q_OBJECT
public:
    // Reads the file again into the controls, dropping unsaved edits.
    virtual void load() = 0;
    // Writes the edits when the check accepts them and the file still holds
    // what load() read (changed outside meanwhile, it is not written and the
    // administrator may reload it). done gets false, after the tab has told
    // why, when nothing was written.
    virtual void save(const std::function<void(bool saved)> &done) = 0;
    // Stops the program of a save in progress; its done does not follow.
    virtual void abandonSave();
    // True when the edits would change the file as it was read.
    virtual bool hasChanges() const = 0;

protected:
    explicit SettingsTab(QWidget *parent);
    ~SettingsTab() override;

    // Puts the problems line above everything else in layout.
    void placeProblems(QBoxLayout *layout);
    ProblemsMessage *problems() const
    {
        return m_problems;
    }
    // Runs a program on the event loop with the tab's process.
    Process::Runner runner() const;

private:
    ProblemsMessage *m_problems = nullptr; // Owned by this widget.
    AsyncProcess *m_process = nullptr; // Owned by this widget.
};
