#include "changedoutside.h"

#include "messagebox.h"

#include <KLocalizedString>

#include <QPushButton>

namespace ChangedOutside
{
bool askReload(QWidget *parent, const QString &systemPath, Where where)
{
    const QString edits = where == Where::Tab ? i18n("Reload it (your edits in this tab are lost)?") : i18n("Reload it (your edits on this page are lost)?");
    const auto answer = MessageBox::ask(parent,
                                        MessageBox::Kind::Warning,
                                        i18n("File changed outside this module"),
                                        i18n("The file %1 was changed outside this module since it was opened. Nothing was written.", systemPath)
                                            + QLatin1String("\n\n") + edits,
                                        QDialogButtonBox::Yes | QDialogButtonBox::Cancel,
                                        QDialogButtonBox::Cancel,
                                        QString(),
                                        [](QDialogButtonBox *buttons) {
                                            buttons->button(QDialogButtonBox::Yes)->setText(i18n("Reload"));
                                        });
    return answer == QDialogButtonBox::Yes;
}
} // namespace ChangedOutside
