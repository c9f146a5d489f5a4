target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/dbusdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notificationfile.cpp
)
