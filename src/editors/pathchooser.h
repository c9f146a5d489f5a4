#pragma once

#include <QString>

#include <functional>

class QWidget;

// The file and directory choosers of the editors. They open at the system root
// and hand back the path as the system knows it; empty when cancelled.
namespace PathChooser
{
enum class Kind {
    ExistingFile,
    ExistingDirectory,
};

QString choose(QWidget *parent, Kind kind);

// Replaces the file dialog by a function, so that tests can answer the chooser;
// an empty function brings the dialog back.
void setAnswer(std::function<QString(Kind)> answer);
}
