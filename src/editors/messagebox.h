#pragma once

#include <QDialogButtonBox>
#include <QString>

#include <functional>

class QWidget;

// The page's and its windows' message boxes, all shown through KMessageBox with
// the window that asks as parent. Layers below return results; only the page
// and its windows call these.
namespace MessageBox
{
enum class Kind {
    Information,
    Warning,
    Error,
    Question,
};

// A box with the one button OK.
void show(QWidget *parent, Kind kind, const QString &title, const QString &text);

// A box with these standard buttons; Enter presses defaultButton. The pressed
// button, or NoButton when the box was closed with Esc or a button of prepare's.
// details, when given, are shown on request; prepare may change or add
// buttons before the box is shown.
QDialogButtonBox::StandardButton ask(QWidget *parent,
                                     Kind kind,
                                     const QString &title,
                                     const QString &text,
                                     QDialogButtonBox::StandardButtons buttons,
                                     QDialogButtonBox::StandardButton defaultButton,
                                     const QString &details = QString(),
                                     const std::function<void(QDialogButtonBox *)> &prepare = {});

// A question with Yes and No of which No is the default: for whatever can
// reboot, stop a service or replace files. True on Yes.
bool confirm(QWidget *parent, const QString &title, const QString &text);
} // namespace MessageBox
