target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/checkboxparam.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dbusdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dbusdialog.ui
    ${CMAKE_CURRENT_LIST_DIR}/notificationcatalogue.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notificationfile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notificationsettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notifyrcdeployment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notifyrcfile.cpp
)
