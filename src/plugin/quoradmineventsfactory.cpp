#include "quoradminevents.h"

#include <KPluginFactory>

class QuorAdminEventsFactory : public KPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KPluginFactory_iid FILE "quor-admin-events.json")
    Q_INTERFACES(KPluginFactory)

public:
    QuorAdminEventsFactory()
    {
        registerPlugin<QuorAdminEvents>();
    }

protected:
    QObject *create(const char *iface, QWidget *parentWidget, QObject *parent, const QVariantList &args, const QString &keyword) override
    {
        // The module is a widget: it takes its parent only when that is a widget too.
        return KPluginFactory::create(iface, parentWidget, qobject_cast<QWidget *>(parent), args, keyword);
    }
};

#include "quoradmineventsfactory.moc"
