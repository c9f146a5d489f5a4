# The bottom layer: the system root and fixed paths, safe file reading and
# writing, outside programs, the session user. Links no other layer.
quor_add_layer(platform
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/paths.cpp
        ${CMAKE_CURRENT_LIST_DIR}/process.cpp
        ${CMAKE_CURRENT_LIST_DIR}/servicecommand.cpp
        ${CMAKE_CURRENT_LIST_DIR}/asyncprocess.cpp
        ${CMAKE_CURRENT_LIST_DIR}/configcheck.cpp
        ${CMAKE_CURRENT_LIST_DIR}/syslogngsubset.cpp
        ${CMAKE_CURRENT_LIST_DIR}/privatefolder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/checkedwrite.cpp
        ${CMAKE_CURRENT_LIST_DIR}/configsnapshot.cpp
        ${CMAKE_CURRENT_LIST_DIR}/fileread.cpp
        ${CMAKE_CURRENT_LIST_DIR}/folderentries.cpp
        ${CMAKE_CURRENT_LIST_DIR}/filestamp.cpp
        ${CMAKE_CURRENT_LIST_DIR}/unifieddiff.cpp
        ${CMAKE_CURRENT_LIST_DIR}/stagedfile.cpp
        ${CMAKE_CURRENT_LIST_DIR}/textdecode.cpp
        ${CMAKE_CURRENT_LIST_DIR}/userfolder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/sessionuser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/integrity.cpp
        ${CMAKE_CURRENT_LIST_DIR}/auditdatabase.cpp
    LIBRARIES Qt::Core KF${KF_MAJOR_VERSION}::I18n ${CMAKE_DL_LIBS})
quor_layer_logging(platform QUOR_PLATFORM "Events administration: files, outside programs and user folders")
# The page and its windows (editors, common, plugin) log on the category of the whole module.
ecm_qt_declare_logging_category(quoradminevents_platform
    HEADER quoradmineventslog.h
    IDENTIFIER QUOR_ADMIN_EVENTS
    CATEGORY_NAME quor.admin.events
    DESCRIPTION "Events administration: the page and its windows"
    EXPORT QUORADMINEVENTS)
