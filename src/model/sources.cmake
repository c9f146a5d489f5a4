target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/treeitem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eventtreeitem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/abstractconfigparser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/abstractwriter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/checkabletreemodel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notifiedevents.cpp
    ${CMAKE_CURRENT_LIST_DIR}/parametervalue.cpp
    ${CMAKE_CURRENT_LIST_DIR}/singleeventsparser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eventswriter.cpp
)
