#pragma once

#include <QString>

class QWidget;

// The question a writer asks when the file it would replace was changed
// outside the module since it was read: nothing has been written, and the
// administrator reloads the file (dropping the edits made on it) or cancels
// (keeping the edits, to look at the file first).
namespace ChangedOutside
{
enum class Where {
    Tab, // the edits of a tab of the settings window
    Page, // the page's edits, written by Apply
};

// True when the administrator chose to reload. systemPath is the file as the
// system names it.
bool askReload(QWidget *parent, const QString &systemPath, Where where = Where::Tab);
} // namespace ChangedOutside
