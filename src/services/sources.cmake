target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/snghandler.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rebootrequest.cpp
)
