quor_add_layer(notifications
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/checkboxparam.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dbusdialog.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dbusdialog.ui
        ${CMAKE_CURRENT_LIST_DIR}/notificationcatalogue.cpp
        ${CMAKE_CURRENT_LIST_DIR}/notificationfile.cpp
        ${CMAKE_CURRENT_LIST_DIR}/notificationsettings.cpp
        ${CMAKE_CURRENT_LIST_DIR}/notifyrcdeployment.cpp
        ${CMAKE_CURRENT_LIST_DIR}/notifyrcfile.cpp
    LAYERS syslogng model platform
    LIBRARIES Qt::Widgets Qt::DBus Qt::Multimedia KF${KF_MAJOR_VERSION}::I18n)
quor_layer_logging(notifications QUOR_NOTIFICATIONS "Events administration: notifications")
