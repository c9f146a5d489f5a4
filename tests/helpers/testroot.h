#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A system root in a temporary directory, named by QUOR_ADMIN_EVENTS_ROOT while
// the object lives. Fakes on PATH record their command lines into commandLog().
class TestRoot
{
public:
    TestRoot();
    ~TestRoot();

    TestRoot(const TestRoot &) = delete;
    TestRoot &operator=(const TestRoot &) = delete;

    QString path() const;
    // An absolute system path placed under this root.
    QString placed(const QString &systemPath) const;

    // Copies a file or directory of data/ (relative path) to a system path.
    void copyData(const QString &dataPath, const QString &systemPath) const;
    // The whole sample system of data/root.
    void copySampleSystem() const;
    // Places a fake of tests/fakebin at a system path (programs named by a fixed path).
    void installFake(const QString &fakeName, const QString &systemPath) const;

    void writeFile(const QString &systemPath, const QByteArray &content) const;
    QByteArray readFile(const QString &systemPath) const;
    bool exists(const QString &systemPath) const;

    // Lines recorded by the fakes since the last clear.
    QStringList commands() const;
    void clearCommands() const;
    // Units the fake systemctl reports as running.
    void setRunningUnits(const QStringList &units) const;
    QStringList runningUnits() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousRoot;
};
