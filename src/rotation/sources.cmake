quor_add_layer(rotation
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/logrotateparser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/rotationwriter.cpp
        ${CMAKE_CURRENT_LIST_DIR}/logrotationsettings.cpp
        ${CMAKE_CURRENT_LIST_DIR}/logrotationsettings.ui
    LAYERS editors services model platform
    LIBRARIES Qt::Widgets KF${KF_MAJOR_VERSION}::I18n)
quor_layer_logging(rotation QUOR_ROTATION "Events administration: log rotation")
