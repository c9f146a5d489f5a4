# Tree items, reader and writer bases, the event settings and the checkable model.
quor_add_layer(model
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/treeitem.cpp
        ${CMAKE_CURRENT_LIST_DIR}/eventtreeitem.cpp
        ${CMAKE_CURRENT_LIST_DIR}/abstractconfigparser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/abstractwriter.cpp
        ${CMAKE_CURRENT_LIST_DIR}/checkabletreemodel.cpp
        ${CMAKE_CURRENT_LIST_DIR}/datalanguage.cpp
        ${CMAKE_CURRENT_LIST_DIR}/notifiedevents.cpp
        ${CMAKE_CURRENT_LIST_DIR}/parametereditor.cpp
        ${CMAKE_CURRENT_LIST_DIR}/parametervalue.cpp
        ${CMAKE_CURRENT_LIST_DIR}/singleeventsparser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/eventswriter.cpp
    LAYERS platform
    LIBRARIES Qt::Gui Qt::Concurrent KF${KF_MAJOR_VERSION}::I18n)
quor_layer_logging(model QUOR_MODEL "Events administration: readers, writers and the event settings")
