# The top layer: the module class and its form (the factory is the plugin's own source).
quor_add_layer(plugin
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/quoradminevents.cpp
        ${CMAKE_CURRENT_LIST_DIR}/quoradminevents.ui
        ${CMAKE_CURRENT_LIST_DIR}/quoradmineventsstorage.cpp
        ${CMAKE_CURRENT_LIST_DIR}/quoradmineventsfiles.cpp
        ${CMAKE_CURRENT_LIST_DIR}/quoradmineventsstatus.cpp
        ${CMAKE_CURRENT_LIST_DIR}/quoradmineventsmenu.cpp
        ${CMAKE_CURRENT_LIST_DIR}/eventsproxymodel.cpp
        ${CMAKE_CURRENT_LIST_DIR}/eventfinder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/eventfinder.ui
        ${CMAKE_CURRENT_LIST_DIR}/tooltipper.cpp
        ${CMAKE_CURRENT_LIST_DIR}/treeviewstate.cpp
    LAYERS common notifications rotation syslogng editors services model platform
    LIBRARIES Qt5::Widgets KF5::ConfigWidgets KF5::CoreAddons KF5::I18n)
