#include "changedoutside.h"

#include <KLocalizedString>

#include <QMessageBox>
#include <QPushButton>

namespace ChangedOutside
{
bool askReload(QWidget *parent, const QString &systemPath, Where where)
{
    const QString edits = where == Where::Tab ? i18n("Reload it (your edits in this tab are lost)?") : i18n("Reload it (your edits on this page are lost)?");
    QMessageBox box(QMessageBox::Warning,
                    i18n("File changed outside this module"),
                    i18n("The file %1 was changed outside this module since it was opened. Nothing was written.", systemPath) + QLatin1String("\n\n") + edits,
                    QMessageBox::Yes | QMessageBox::Cancel,
                    parent);
    box.button(QMessageBox::Yes)->setText(i18n("Reload"));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}
} // namespace ChangedOutside
