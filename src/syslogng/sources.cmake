quor_add_layer(syslogng
    SOURCES destinationsmodel.cpp adddestinationdialog.cpp adddestinationdialog.ui destinationssettings.cpp
            destinationssettings.ui destinationkind.cpp filedestination.cpp networkdestination.cpp
            commonsettingsparser.cpp commonwriter.cpp parseonce.cpp syslogngtree.cpp syslogngstring.cpp
    LAYERS editors services model platform
    LIBRARIES Qt::Widgets Qt::Network KF${KF_MAJOR_VERSION}::I18n)
