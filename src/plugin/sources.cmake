target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/quoradminevents.cpp
    ${CMAKE_CURRENT_LIST_DIR}/quoradminevents.ui
    ${CMAKE_CURRENT_LIST_DIR}/quoradmineventsstorage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/quoradmineventsstatus.cpp
    ${CMAKE_CURRENT_LIST_DIR}/quoradmineventsmenu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eventsproxymodel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eventfinder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eventfinder.ui
    ${CMAKE_CURRENT_LIST_DIR}/tooltipper.cpp
    ${CMAKE_CURRENT_LIST_DIR}/treeviewstate.cpp
)
