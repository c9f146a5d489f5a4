#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs behaviour that ends the process in a child, and reports how it ended.
struct ChildRun {
    int exitCode = -1;
    bool crashed = false;
    QString output;
};

ChildRun runChild(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment, int timeoutMs = 60000);
