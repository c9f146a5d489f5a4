#pragma once

#include <QLatin1String>
#include <QProcessEnvironment>
#include <QString>
#include <QVector>

// The outside programs the module and its tools start, each by the absolute
// path it has on the system, placed under the system root like every other
// fixed path: never looked up on PATH, which root may have been handed by a
// user (sudo -E). Every child gets the same fixed environment.
namespace Programs
{
struct Program {
    QLatin1String name; // as callers and messages name it
    QLatin1String path;
};

// Every program, in one table.
const QVector<Program> &table();

// The placed path of a program named in the table ("syslog-ng"), of an
// absolute path as given (already placed by the caller); an empty text for
// any other name.
QString located(const QString &program);

// The environment every child starts with: the secure PATH, HOME=/root, the
// locale of this process, no user site folder for Python, the system root;
// additions (a session bus for a tool that needs one) on top.
QProcessEnvironment environment(const QProcessEnvironment &additions = QProcessEnvironment());

// The arguments before a Python script: isolated (no PYTHONPATH, no user site
// folder, no current folder on the path), no compiled files written.
QStringList pythonOptions();
}
