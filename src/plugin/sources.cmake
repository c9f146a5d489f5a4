# The top layer: the module class and its form (the factory is the plugin's own source).
quor_add_layer(plugin
    SOURCES quoradminevents.cpp quoradminevents.ui quoradmineventsstorage.cpp quoradmineventsfiles.cpp
            quoradmineventsstatus.cpp quoradmineventsmenu.cpp quoradmineventsdiskcheck.cpp eventsproxymodel.cpp eventfinder.cpp
            eventfinder.ui tooltipper.cpp treeviewstate.cpp
    LAYERS common notifications rotation syslogng editors services model platform
    LIBRARIES Qt::Widgets KF${KF_MAJOR_VERSION}::${KF_MODULE_COMPONENT} KF${KF_MAJOR_VERSION}::CoreAddons KF${KF_MAJOR_VERSION}::I18n)
# KF6's module is no widget: there the page stands on a widget base of its own.
if(QT_MAJOR_VERSION EQUAL 6)
    target_sources(quoradminevents_plugin PRIVATE ${CMAKE_CURRENT_LIST_DIR}/modulepage.cpp)
endif()
