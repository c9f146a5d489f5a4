#pragma once

#include "platform/checkedwrite.h"

#include <QSignalSpy>
#include <QTest>

#include <optional>

// The module's windows run their outside programs on the event loop and
// report through a done-callback; these wait for it in a test.
namespace Waited
{
// Calls save with a done and runs the event loop (message boxes are answered
// meanwhile) until done has been called; what done got, or false with a
// warning when it was not called within the time limit.
template<typename Save>
bool saved(Save save, int timeoutMs = 120000)
{
    auto result = std::make_shared<std::optional<bool>>();
    save([result](bool ok) {
        *result = ok;
    });
    if (!QTest::qWaitFor(
            [result] {
                return result->has_value();
            },
            timeoutMs)) {
        qWarning("the save did not end within %d ms", timeoutMs);
        return false;
    }
    return **result;
}

// A tab's save (DestinationsSettings, LogRotationSettings).
template<typename Tab>
bool saveTab(Tab &tab)
{
    return saved([&tab](const std::function<void(bool)> &done) {
        tab.save(done);
    });
}

// A tab's load that ends with its loaded() signal (LogRotationSettings).
template<typename Tab>
bool loadTab(Tab &tab, int timeoutMs = 120000)
{
    QSignalSpy loaded(&tab, &Tab::loaded);
    tab.load();
    return !loaded.isEmpty() || loaded.wait(timeoutMs);
}

// Waits until a window's programs have ended (isBusy() false).
template<typename Window>
bool idle(const Window &window, int timeoutMs = 120000)
{
    return QTest::qWaitFor(
        [&window] {
            return !window.isBusy();
        },
        timeoutMs);
}

// A checked write, its programs waited for.
inline ConfigCheck::Result syslogNg(const QList<CheckedWrite::Change> &changes, QStringList *changed = nullptr)
{
    ConfigCheck::Result result;
    CheckedWrite::syslogNg(changes,
                           Process::waiting(),
                           CheckedWrite::BeforeWrite(),
                           [&result, changed](const ConfigCheck::Result &written, const QStringList &files) {
                               result = written;
                               if (changed) {
                                   *changed = files;
                               }
                           });
    return result;
}

inline ConfigCheck::Result logrotate(const QString &systemPath, const QByteArray &content)
{
    ConfigCheck::Result result;
    CheckedWrite::logrotate(systemPath, content, std::nullopt, Process::waiting(), CheckedWrite::BeforeWrite(), [&result](const ConfigCheck::Result &written) {
        result = written;
    });
    return result;
}
} // namespace Waited
