#include "pageapply.h"

#include "plugin/quoradminevents.h"

#include <QSignalSpy>
#include <QTest>

namespace PageApply
{
bool run(QuorAdminEvents &page, int timeoutMs)
{
    QSignalSpy finished(&page, &QuorAdminEvents::applyFinished);
    page.save();
    const bool ended = !finished.isEmpty() || finished.wait(timeoutMs);
    if (!ended) {
        QTest::qFail("Apply did not end within the time limit", __FILE__, __LINE__);
    }
    return ended;
}
} // namespace PageApply
