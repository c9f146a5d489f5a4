#pragma once

#include <QString>

class QWidget;

// The file and directory choosers of the editors. They open at the system root
// and hand back the path as the system knows it; empty when cancelled.
namespace PathChooser
{
QString existingFile(QWidget *parent);
QString existingDirectory(QWidget *parent);
} // namespace PathChooser
