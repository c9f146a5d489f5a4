target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/logrotateparser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rotationwriter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/logrotationsettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/logrotationsettings.ui
)
