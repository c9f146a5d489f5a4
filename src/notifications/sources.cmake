quor_add_layer(notifications
    SOURCES checkboxparam.cpp dbusdialog.cpp dbusdialog.ui notificationcatalogue.cpp notificationfile.cpp
            notificationsettings.cpp notifyrcdeployment.cpp notifyrcfile.cpp
    LAYERS syslogng model platform
    LIBRARIES Qt::Widgets Qt::DBus KF${KF_MAJOR_VERSION}::I18n)
quor_layer_logging(notifications QUOR_NOTIFICATIONS "Events administration: notifications")
