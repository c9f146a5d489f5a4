quor_add_layer(services
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/snghandler.cpp
        ${CMAKE_CURRENT_LIST_DIR}/rebootrequest.cpp
    LAYERS platform
    LIBRARIES Qt::Core KF${KF_MAJOR_VERSION}::I18n)
quor_layer_logging(services QUOR_SERVICES "Events administration: services and reboot")
