#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui
{
class CommonSettingsWindow;
}

// The modal window of the settings that do not belong to single events. OK
// acts on the current tab; unsaved edits on the other tabs (and on any tab when
// the window is closed) are saved or dropped only as the administrator answers.
// Every opening reads the two settings tabs from their files.
class CommonSettingsWindow : public QDialog
{
    Q_OBJECT
public:
    explicit CommonSettingsWindow(QWidget *parent = nullptr);
    ~CommonSettingsWindow() override;

    // Tells whether the page has edits that are not applied: an import or a
    // restore discards them, and asks first.
    void setPendingPageEdits(std::function<bool()> pending);
    // OK's writes, exports or imports, or the questions and saves before
    // closing, are running, or the rotation tab is still being read or the
    // kept configurations listed: their programs run on the event loop.
    bool isBusy() const;

public Q_SLOTS:
    void open() override;
    // The module's "Settings" button: always the first tab, whichever was used last.
    void openOnFirstTab();
    // Acts on the current tab and closes the window when that succeeded.
    void accept() override;
    // While OK's programs run, closing stops them at once: nothing more is
    // written or asked.
    void reject() override;

Q_SIGNALS:
    // An import or a restore changed the files on the system; summary says
    // which (and files names them), complete is false when it failed part way.
    void configurationImported(bool complete, const QString &summary, const QStringList &files);
    // What OK or closing started has ended, the window closed or not.
    void actionFinished();

private:
    void reload();
    // Asks about the unsaved edits of the settings tabs (the current one only when
    // withCurrent), saving them when told so; done gets false when the
    // administrator goes back.
    void settleUnsavedEdits(bool withCurrent, const std::function<void(bool goOn)> &done);
    // The tab's own action of OK; done gets whether it succeeded.
    void actOnCurrentTab(const std::function<void(bool done)> &done);
    void setBusy(bool busy);

    std::unique_ptr<Ui::CommonSettingsWindow> ui;
    bool m_busy = false;
};
