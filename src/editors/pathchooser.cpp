#include "pathchooser.h"

#include "platform/paths.h"

#include <QFileDialog>

namespace PathChooser
{
QString existingFile(QWidget *parent)
{
    const QString chosen = QFileDialog::getOpenFileName(parent, QString(), Paths::placed(QStringLiteral("/")), QString());
    return chosen.isEmpty() ? QString() : Paths::unplaced(chosen);
}

QString existingDirectory(QWidget *parent)
{
    const QString chosen = QFileDialog::getExistingDirectory(parent, QString(), Paths::placed(QStringLiteral("/")), QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? QString() : Paths::unplaced(chosen);
}
} // namespace PathChooser
