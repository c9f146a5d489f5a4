# The common parameters window: it holds the syslog-ng and rotation panels.
quor_add_layer(common
    SOURCES commonsettingswindow.cpp commonsettingswindow.ui configmanager.cpp filewidget.cpp filewidget.ui
            settingsexporter.cpp settingsexporter.ui settingsimporter.cpp settingsimporter.ui transfertab.cpp
    LAYERS syslogng rotation editors platform
    LIBRARIES Qt::Widgets KF${KF_MAJOR_VERSION}::I18n)
