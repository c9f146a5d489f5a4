#pragma once

#include <QByteArray>
#include <QString>

class TestRoot;

// A stand-in for a program that never answers, for the tests of closing a
// window or the page while one runs.
namespace HungProgram
{
// A bare name is found on PATH, a system path is placed under the root.
bool onPath(const QString &program);
// Where the script writes its pid: in bin.
QString pidFile(const QString &bin);
// Writes an executable script for program (into bin for a bare name, which the
// caller puts first on PATH) that writes its pid and then sleeps; with
// firstArgument only when started with it, running the program it replaces
// (the system path's) otherwise.
bool write(const QString &program, const QString &bin, const TestRoot &root, const QString &firstArgument = QString());
// The pid the script wrote; empty before it has started.
QByteArray startedPid(const QString &pidFile);
// The process is gone, or at most a zombie not yet reaped.
bool isGone(const QByteArray &pid);
} // namespace HungProgram
