target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/pathchooser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filesdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filesdialog.ui
    ${CMAKE_CURRENT_LIST_DIR}/diskspacemondialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/diskspacemondialog.ui
    ${CMAKE_CURRENT_LIST_DIR}/fileeditor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fileeditor.ui
    ${CMAKE_CURRENT_LIST_DIR}/problemsmessage.cpp
)
