#include "quoradminevents.h"

#include <KPluginFactory>

#if QT_VERSION_MAJOR == 5
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
#else
#include <QVBoxLayout>

// KF6's module shows the page in the widget it hands to the settings centre
// and passes the centre's calls on to it.
class QuorAdminEventsModule : public KCModule
{
    Q_OBJECT
public:
    QuorAdminEventsModule(QObject *parent, const KPluginMetaData &data)
        : KCModule(parent, data)
        , m_page(new QuorAdminEvents(widget(), {}))
    {
        m_page->setLoadedByModule();
        auto *layout = new QVBoxLayout(widget());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_page);
        setButtons(m_page->buttons());
        connect(m_page, &QuorAdminEvents::changed, this, &KCModule::setNeedsSave);
    }

    void load() override
    {
        m_page->load();
    }
    void save() override
    {
        m_page->save();
    }

private:
    QuorAdminEvents *m_page; // Owned by widget().
};

K_PLUGIN_CLASS_WITH_JSON(QuorAdminEventsModule, "quor-admin-events-kf6.json")
#endif

#include "quoradmineventsfactory.moc"
