#pragma once

#include <KCModule>

#include <QtGlobal>

#if QT_VERSION_MAJOR == 5
// KF5's module is a widget: the page is the module.
using ModulePage = KCModule;
#else
// KF6's module is no widget but shows one. The page stays a widget with the
// part of KF5's module interface that it and its callers use; the plugin's
// module (quoradmineventsfactory.cpp) shows it and forwards to it.
class ModulePage : public QWidget
{
    Q_OBJECT
public:
    static constexpr KCModule::Button Help = KCModule::Help;
    static constexpr KCModule::Button Apply = KCModule::Apply;

    // The arguments of the plugin loader: the page takes none.
    ModulePage(QWidget *parent, const QVariantList &args);

    KCModule::Buttons buttons() const
    {
        return m_buttons;
    }
    void setButtons(KCModule::Buttons buttons)
    {
        m_buttons = buttons;
    }
    // The module that shows the page loads it when first shown: the page must
    // not load a second time.
    void setLoadedByModule()
    {
        m_loadWhenFirstShown = false;
    }

public Q_SLOTS:
    virtual void load() = 0;
    virtual void save() = 0;

Q_SIGNALS:
    // Whether the page holds changes that Apply would save.
    void changed(bool state);

protected:
    // Alone, the page loads when first shown, as KF5's module does.
    void showEvent(QShowEvent *event) override;

private:
    KCModule::Buttons m_buttons = KCModule::Help | KCModule::Default | KCModule::Apply;
    bool m_loadWhenFirstShown = true;
};
#endif
