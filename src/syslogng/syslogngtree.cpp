#include "syslogngtree.h"

#include <atomic>

namespace
{
quint64 newSourceId()
{
    static std::atomic<quint64> last{0};
    return ++last;
}
}

SyslogNgRoot::SyslogNgRoot(const QVector<QVariant> &columns, const QString &text)
    : TreeItem(columns)
    , m_text(text)
    , m_sourceId(newSourceId())
{
}

SyslogNgRoot::~SyslogNgRoot() = default;

SyslogNgNode::~SyslogNgNode() = default;
