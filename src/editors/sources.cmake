target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/filesdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/diskspacemondialog.cpp
)
