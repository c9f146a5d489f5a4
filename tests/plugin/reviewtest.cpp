#include "common/commonsettingswindow.h"
#include "editors/reviewchangesdialog.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "pageapply.h"
#include "platform/paths.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"
#include "waited.h"

#include <KSyntaxHighlighting/Definition>
#include <KSyntaxHighlighting/SyntaxHighlighter>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

namespace
{
// What a review dialog showed, and how it was left.
struct Shown {
    QStringList paths;
    QString diff;
    QString definition;
    QStringList buttons;
};
}

// "Review changes": the page's button, the setting that makes Apply (and the
// settings window's OK) show the review first, and what the review shows.
class ReviewTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<MessageBoxWatcher> m_watcher;
    QList<Shown> m_shown;
    bool m_accept = false;

    // Records each review dialog and closes it with Apply or Cancel (or Close).
    void watch()
    {
        m_watcher = std::make_unique<MessageBoxWatcher>();
        m_watcher->setDialogHandler([this](QWidget *modal) {
            auto *dialog = qobject_cast<ReviewChangesDialog *>(modal);
            // Looked at once diff has made what it shows.
            if (!dialog || dialog->isBusy()) {
                return false;
            }
            Shown shown;
            shown.paths = dialog->paths();
            shown.diff = dialog->findChild<QPlainTextEdit *>(QStringLiteral("reviewDiffView"))->toPlainText();
            const auto *highlighter = dialog->findChild<KSyntaxHighlighting::SyntaxHighlighter *>();
            shown.definition = highlighter ? highlighter->definition().name() : QString();
            const auto *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
            for (const QAbstractButton *button : box->buttons()) {
                shown.buttons << button->text();
            }
            m_shown << shown;
            if (m_accept && box->button(QDialogButtonBox::Ok)) {
                box->button(QDialogButtonBox::Ok)->click();
            } else {
                dialog->reject();
            }
            return true;
        });
    }

    static void toggle(QuorAdminEvents &module, const QString &id)
    {
        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        const QModelIndexList found =
            view->model()->match(view->model()->index(0, 0), CheckableTreeModel::IdRole, id, 1, Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        const int state = found.first().data(Qt::CheckStateRole).toInt();
        QVERIFY(view->model()->setData(found.first(), state == Qt::Checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole));
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The setting goes to a configuration of the tests' own.
        QStandardPaths::setTestModeEnabled(true);
    }

    void init()
    {
        ReviewChangesDialog::setAlwaysBeforeWriting(false);
        m_root = std::make_unique<TestRoot>();
        m_root->copySampleSystem();
        QDir().mkpath(m_root->placed(QStringLiteral("/etc/audit/rules.d")));
        m_shown.clear();
        m_accept = false;
        watch();
    }

    void cleanup()
    {
        m_watcher.reset();
        ReviewChangesDialog::setAlwaysBeforeWriting(false);
        m_root.reset();
    }

    void offByDefault()
    {
        QVERIFY(!ReviewChangesDialog::alwaysBeforeWriting());
    }

    // The button shows what Apply would write, file by file, coloured as a
    // diff, and writes nothing.
    void buttonShowsWhatApplyWouldWrite()
    {
        QuorAdminEvents module(nullptr, {});
        module.load();
        toggle(module, QStringLiteral("package-updated"));
        const QByteArray settings = m_root->readFile(Paths::EventsFile);
        module.findChild<QPushButton *>(QStringLiteral("reviewChangesButton"))->click();
        QCOMPARE(m_shown.size(), 1);
        QVERIFY2(m_shown.first().paths.contains(QString(Paths::EventsFile)), qPrintable(m_shown.first().paths.join(QLatin1Char(' '))));
        QVERIFY2(m_shown.first().diff.startsWith(QStringLiteral("--- /etc/velta-syslog.conf\n+++ /etc/velta-syslog.conf\n@@")),
                 qPrintable(m_shown.first().diff));
        QVERIFY(m_shown.first().diff.contains(QStringLiteral("package-updated")));
        QCOMPARE(m_shown.first().definition, QStringLiteral("Diff"));
        QCOMPARE(m_shown.first().buttons.size(), 1);
        QCOMPARE(m_root->readFile(Paths::EventsFile), settings);
    }

    // With the setting on, Apply shows the review first: Cancel writes
    // nothing, Apply writes what was shown.
    void applyShowsTheReviewFirst_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("cancel") << false;
        QTest::newRow("apply") << true;
    }

    void applyShowsTheReviewFirst()
    {
        QFETCH(bool, accept);
        ReviewChangesDialog::setAlwaysBeforeWriting(true);
        m_accept = accept;
        QuorAdminEvents module(nullptr, {});
        module.load();
        toggle(module, QStringLiteral("package-updated"));
        const QByteArray settings = m_root->readFile(Paths::EventsFile);
        PageApply::run(module);
        QCOMPARE(m_shown.size(), 1);
        QVERIFY(m_shown.first().paths.contains(QString(Paths::EventsFile)));
        QCOMPARE(m_shown.first().buttons.size(), 2);
        QCOMPARE(m_root->readFile(Paths::EventsFile) != settings, accept);
        if (accept) {
            // The lines the review added are the lines the file gained.
            const QByteArray written = m_root->readFile(Paths::EventsFile);
            const QStringList lines = m_shown.first().diff.split(QLatin1Char('\n'));
            for (const QString &line : lines) {
                if (line.startsWith(QLatin1Char('+')) && !line.startsWith(QLatin1String("+++"))) {
                    QVERIFY2(written.contains(line.mid(1).toUtf8()), qPrintable(line));
                }
            }
        }
    }

    // The settings window's OK reviews the tab's file first.
    void settingsWindowOkShowsTheReview()
    {
        ReviewChangesDialog::setAlwaysBeforeWriting(true);
        const QByteArray common = m_root->readFile(Paths::CommonSyslogNgFile);
        CommonSettingsWindow window;
        window.open();
        QVERIFY(Waited::idle(window));
        window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("destinationsTab")));
        window.findChild<QTableView *>(QStringLiteral("destinationsView"))->selectRow(1);
        window.findChild<QToolButton *>(QStringLiteral("removeButton"))->click();
        window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
        QVERIFY(Waited::idle(window));
        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown.first().paths, QStringList{QString(Paths::CommonSyslogNgFile)});
        QVERIFY(m_shown.first().diff.contains(QStringLiteral("\n-destination velta_central_dst {\n")));
        QVERIFY(window.isVisible());
        QCOMPARE(m_root->readFile(Paths::CommonSyslogNgFile), common);
    }

    // The dialog's check box is the setting.
    void checkBoxIsTheSetting()
    {
        ReviewChangesDialog dialog;
        auto *always = dialog.findChild<QCheckBox *>(QStringLiteral("reviewAlwaysCheckBox"));
        QVERIFY(!always->isChecked());
        always->setChecked(true);
        QVERIFY(ReviewChangesDialog::alwaysBeforeWriting());
        ReviewChangesDialog again;
        QVERIFY(again.findChild<QCheckBox *>(QStringLiteral("reviewAlwaysCheckBox"))->isChecked());
    }
};

QTEST_MAIN(ReviewTest)
#include "reviewtest.moc"
