#pragma once

#include <QByteArray>
#include <QString>

class TestRoot;

// A stand-in for a program that never answers, for the tests of closing a
// window or the page while one runs.
namespace HungProgram
{
// Where the script writes its pid: in bin.
QString pidFile(const QString &bin);
// Writes an executable script in the place of program (a name of the program
// table or a system path, placed under the root) that writes its pid and then sleeps; with
// firstArgument only when started with it, running the program it replaces
// (the system path's) otherwise.
bool write(const QString &program, const QString &bin, const TestRoot &root, const QString &firstArgument = QString());
// The pid the script wrote; empty before it has started.
QByteArray startedPid(const QString &pidFile);
// The process is gone, or at most a zombie not yet reaped.
bool isGone(const QByteArray &pid);
} // namespace HungProgram
