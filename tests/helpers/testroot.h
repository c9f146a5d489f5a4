#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A system root in a temporary directory, named by QUOR_ADMIN_EVENTS_ROOT while
// the object lives. Every program of the program table is placed in it: the
// fakes of tests/fakebin where there is one (they record their command lines,
// see commands()), the built configuration manager, links to the real
// programs otherwise.
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

    // Takes a program of the program table away, as on a system without it.
    void removeProgram(const QString &name) const;

    void writeFile(const QString &systemPath, const QByteArray &content) const;
    QByteArray readFile(const QString &systemPath) const;
    bool exists(const QString &systemPath) const;

    // Places every program of the program table under another root (a
    // machine inside this one's test folder), as the constructor does here.
    static void placePrograms(const QString &rootPath);

    // A setting of the fakes in the current root's test/fake.env (the module's
    // children start with a fixed environment); an empty value removes it.
    static void setFakeVariable(const QByteArray &name, const QByteArray &value);

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
