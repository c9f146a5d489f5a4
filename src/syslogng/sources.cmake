quor_add_layer(syslogng
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/destinationsmodel.cpp
        ${CMAKE_CURRENT_LIST_DIR}/adddestinationdialog.cpp
        ${CMAKE_CURRENT_LIST_DIR}/adddestinationdialog.ui
        ${CMAKE_CURRENT_LIST_DIR}/destinationssettings.cpp
        ${CMAKE_CURRENT_LIST_DIR}/destinationssettings.ui
        ${CMAKE_CURRENT_LIST_DIR}/destinationkind.cpp
        ${CMAKE_CURRENT_LIST_DIR}/filedestination.cpp
        ${CMAKE_CURRENT_LIST_DIR}/networkdestination.cpp
        ${CMAKE_CURRENT_LIST_DIR}/commonsettingsparser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/commonwriter.cpp
        ${CMAKE_CURRENT_LIST_DIR}/syslogngtree.cpp
        ${CMAKE_CURRENT_LIST_DIR}/syslogngstring.cpp
    LAYERS editors services model platform
    LIBRARIES Qt::Widgets Qt::Network KF${KF_MAJOR_VERSION}::I18n)
