// Apply end to end on a copy of the sample system with a real syslog-ng
// (scripts/live-syslog-ng behind the fake sudo): one event is switched, Apply
// is pressed, and the time runs until the status line answers for the
// restarted service. Prints the whole and the share of each step.
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "platform/checkedwrite.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "plugin/quoradminevents.h"
#include "services/snghandler.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace
{
const int DaemonTimeout = 30000;
const QString LiveSyslogNg = QStringLiteral(QUOR_SOURCE_DIR "/scripts/live-syslog-ng");

Process::Result run(const QString &program, const QStringList &arguments)
{
    return Process::run(program, arguments, DaemonTimeout);
}

// An event whose switch asks nothing (no audit data, so no reboot question).
EventTreeItem *plainEvent(EventTreeItem *item)
{
    for (int row = 0; row < item->childCount(); ++row) {
        EventTreeItem *child = item->child(row);
        if (child->kind() == EventTreeItem::Event && child->isCheckable() && !child->hasAuditRules() && !child->hasAuditEvents()) {
            return child;
        }
        if (EventTreeItem *found = plainEvent(child)) {
            return found;
        }
    }
    return nullptr;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
}

class ApplyBench : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // A box would wait for a click that never comes: it is named and closed,
        // and the run fails.
        auto *boxes = new QTimer(this);
        connect(boxes, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_boxes << box->windowTitle() + QLatin1String(": ") + box->text();
                qWarning("%s", qPrintable(m_boxes.constLast()));
                box->reject();
            }
        });
        boxes->start(50);
        QVERIFY(m_root.isValid());
        QVERIFY(run(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), QStringLiteral(QUOR_DATA_DIR "/root/."), m_root.path()}).exitCode == 0);
        qputenv("QUOR_ADMIN_EVENTS_ROOT", m_root.path().toUtf8());
        // The programs as installed: Apply keeps a snapshot first.
        QVERIFY(run(QStringLiteral(QUOR_SOURCE_DIR "/scripts/place-programs"), {m_root.path(), QStringLiteral(QUOR_CONFIG_MANAGER_PATH)}).exitCode == 0);
        // auditd as the fake runs it; syslog-ng for real. The fakes and the
        // daemon's script read their settings from the root.
        const QString units = m_root.filePath(QStringLiteral("bench-units"));
        QFile unitsFile(units);
        QVERIFY(unitsFile.open(QIODevice::WriteOnly) && unitsFile.write("auditd\n") > 0);
        unitsFile.close();
        QVERIFY(QDir().mkpath(m_root.filePath(QStringLiteral("test"))));
        QFile settings(m_root.filePath(QStringLiteral("test/fake.env")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("QUOR_FAKE_LOG=/dev/null\nQUOR_FAKE_UNITS='" + QFile::encodeName(units) + "'\nQUOR_LIVE_SYSLOGNG='"
                       + QFile::encodeName(m_root.filePath(QStringLiteral("bench-live"))) + "'\nQUOR_LIVE_SCRIPT='" + QFile::encodeName(LiveSyslogNg) + "'\n");
        settings.close();
        qputenv("SUDO_UID", "65534");
        const Process::Result started = run(LiveSyslogNg, {QStringLiteral("start")});
        QVERIFY2(started.exitCode == 0, started.output.constData());
    }

    void cleanupTestCase()
    {
        run(LiveSyslogNg, {QStringLiteral("stop")});
    }

    // Check: syslog-ng's check of the folder, timed alone on the same files
    // (within Apply it runs while the settings are built). Write: the rest of
    // Apply until the page says it has ended. Restart: until the restart has ended. Status:
    // until the status line has the answer of the query that follows it.
    void apply()
    {
        constexpr int Runs = 7;
        QuorAdminEvents module(nullptr, {});
        QSignalSpy statuses(SngHandler::instance(), &SngHandler::statusReady);
        module.load();
        QVERIFY(statuses.wait(DaemonTimeout));
        auto *statusLine = module.findChild<QLabel *>(QStringLiteral("sngStatusLabel"));
        QVERIFY(statusLine);
        std::vector<double> check, write, restart, status, total;
        for (int n = 0; n < Runs; ++n) {
            QElapsedTimer checkTimer;
            checkTimer.start();
            bool accepted = false;
            CheckedWrite::checkSyslogNg({}, Process::waiting(), [&accepted](const ConfigCheck::Result &result) {
                accepted = result.accepted;
            });
            QVERIFY(accepted);
            check.push_back(checkTimer.nsecsElapsed() / 1e6);

            CheckableTreeModel *model = module.currentModel();
            EventTreeItem *event = plainEvent(model->root());
            QVERIFY(event);
            QVERIFY(model->setData(model->indexFromItem(event), event->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole));

            QSignalSpy restarted(SngHandler::instance(), &SngHandler::restartFinished);
            QSignalSpy switched(SngHandler::instance(), &SngHandler::sngSwitched);
            QSignalSpy applied(&module, &QuorAdminEvents::applyFinished);
            QElapsedTimer timer;
            timer.start();
            module.save();
            QVERIFY(applied.count() > 0 || applied.wait(DaemonTimeout));
            QCOMPARE(m_boxes, QStringList());
            const double saved = timer.nsecsElapsed() / 1e6;
            QVERIFY(switched.count() > 0 || switched.wait(DaemonTimeout));
            const double restartEnded = timer.nsecsElapsed() / 1e6;
            QCOMPARE(restarted.count(), 1);
            QVERIFY(restarted.constFirst().at(1).value<SngHandler::RestartOutcome>().ok);
            // The page asks as the restart ends (the query of save() itself
            // was answered long before); that answer fills the line.
            statuses.clear();
            QVERIFY(statuses.wait(DaemonTimeout));
            const double shown = timer.nsecsElapsed() / 1e6;
            QCOMPARE(statusLine->text(), QStringLiteral("Logging service is running."));

            QCOMPARE(m_boxes, QStringList());
            write.push_back(std::max(0.0, saved - check.back()));
            restart.push_back(std::max(0.0, restartEnded - saved));
            status.push_back(shown - restartEnded);
            total.push_back(shown);
        }
        const double whole = median(total);
        const auto line = [whole](const char *step, const std::vector<double> &times) {
            qInfo("%-8s %7.1f ms  %3.0f %%", step, median(times), 100 * median(times) / whole);
        };
        qInfo("Apply of one switched event, medians of %d runs: %.1f ms", Runs, whole);
        line("check", check);
        line("write", write);
        line("restart", restart);
        line("status", status);
    }

private:
    QTemporaryDir m_root;
    QStringList m_boxes;
};

QTEST_MAIN(ApplyBench)
#include "applybench.moc"
