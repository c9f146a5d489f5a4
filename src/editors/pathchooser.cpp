#include "pathchooser.h"

#include "platform/paths.h"

#include <QFileDialog>

namespace PathChooser
{
namespace
{
std::function<QString(Kind)> &answer()
{
    static std::function<QString(Kind)> function;
    return function;
}
}

QString choose(QWidget *parent, Kind kind)
{
    if (answer()) {
        return answer()(kind);
    }
    const QString start = Paths::placed(QStringLiteral("/"));
    const QString chosen = kind == Kind::ExistingFile ? QFileDialog::getOpenFileName(parent, QString(), start, QString())
                                                      : QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? QString() : Paths::unplaced(chosen);
}

void setAnswer(std::function<QString(Kind)> function)
{
    answer() = std::move(function);
}
}
