quor_add_layer(services
    SOURCES snghandler.cpp rebootrequest.cpp
    LAYERS platform
    LIBRARIES Qt::Core KF${KF_MAJOR_VERSION}::I18n)
quor_layer_logging(services QUOR_SERVICES "Events administration: services and reboot")
