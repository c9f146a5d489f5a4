target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/logrotationsettings.cpp
)
