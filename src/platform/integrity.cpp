#include "integrity.h"

#include <QLibrary>

namespace Integrity
{
bool isCurrentProcessHasMaxMIC()
{
    QLibrary helper(QStringLiteral("qmxhelper"), 1);
    if (!helper.load()) {
        return true;
    }
    // static bool MICDetect::isCurrentProcessHasMaxMIC()
    using Query = bool (*)();
    const auto query = reinterpret_cast<Query>(helper.resolve("_ZN9MICDetect25isCurrentProcessHasMaxMICEv"));
    // A helper that cannot answer does not vouch for the process.
    return query ? query() : false;
}
}
