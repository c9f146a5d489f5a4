target_sources(quoradminevents_static PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/paths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/process.cpp
    ${CMAKE_CURRENT_LIST_DIR}/configcheck.cpp
    ${CMAKE_CURRENT_LIST_DIR}/checkedwrite.cpp
    ${CMAKE_CURRENT_LIST_DIR}/configsnapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fileread.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stagedfile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/textdecode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/userfolder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sessionuser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/integrity.cpp
    ${CMAKE_CURRENT_LIST_DIR}/auditdatabase.cpp
)
