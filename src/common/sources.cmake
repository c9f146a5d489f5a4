# The common parameters window: it holds the syslog-ng and rotation panels.
quor_add_layer(common
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/commonsettingswindow.cpp
        ${CMAKE_CURRENT_LIST_DIR}/commonsettingswindow.ui
        ${CMAKE_CURRENT_LIST_DIR}/configmanager.cpp
        ${CMAKE_CURRENT_LIST_DIR}/filewidget.cpp
        ${CMAKE_CURRENT_LIST_DIR}/filewidget.ui
        ${CMAKE_CURRENT_LIST_DIR}/settingsexporter.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settingsexporter.ui
        ${CMAKE_CURRENT_LIST_DIR}/settingsimporter.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settingsimporter.ui
    LAYERS syslogng rotation editors platform
    LIBRARIES Qt::Widgets KF${KF_MAJOR_VERSION}::I18n)
