quor_add_layer(rotation
    SOURCES logrotateparser.cpp rotationwriter.cpp logrotationsettings.cpp logrotationsettings.ui
    LAYERS editors services model platform
    LIBRARIES Qt::Widgets KF${KF_MAJOR_VERSION}::I18n)
quor_layer_logging(rotation QUOR_ROTATION "Events administration: log rotation")
