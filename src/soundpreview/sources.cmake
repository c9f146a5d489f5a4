# The sound preview of the notification settings: a plugin loaded at the first
# preview, so that opening the module does not load Qt Multimedia and the sound
# libraries behind it.
add_library(quor-admin-events-soundpreview MODULE ${CMAKE_CURRENT_LIST_DIR}/mediasoundpreview.cpp)
set_target_properties(quor-admin-events-soundpreview PROPERTIES
    AUTOMOC ON
    OUTPUT_NAME soundpreview
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/quor-admin-events)
# Only the interface: the plugin links nothing of the module's layers.
target_include_directories(quor-admin-events-soundpreview PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../notifications)
target_link_libraries(quor-admin-events-soundpreview PRIVATE Qt::Multimedia)
install(TARGETS quor-admin-events-soundpreview DESTINATION ${KDE_INSTALL_PLUGINDIR}/quor-admin-events)
