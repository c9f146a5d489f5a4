quor_add_layer(editors
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/pathchooser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/filesdialog.cpp
        ${CMAKE_CURRENT_LIST_DIR}/filesdialog.ui
        ${CMAKE_CURRENT_LIST_DIR}/bytesize.cpp
        ${CMAKE_CURRENT_LIST_DIR}/diskspacemondialog.cpp
        ${CMAKE_CURRENT_LIST_DIR}/diskspacemondialog.ui
        ${CMAKE_CURRENT_LIST_DIR}/fileeditor.cpp
        ${CMAKE_CURRENT_LIST_DIR}/fileeditor.ui
        ${CMAKE_CURRENT_LIST_DIR}/problemsmessage.cpp
        ${CMAKE_CURRENT_LIST_DIR}/changedoutside.cpp
        ${CMAKE_CURRENT_LIST_DIR}/messagebox.cpp
        ${CMAKE_CURRENT_LIST_DIR}/reviewchangesdialog.cpp
        ${CMAKE_CURRENT_LIST_DIR}/snapshotbeforewrite.cpp
    LAYERS services model platform
    LIBRARIES Qt::Widgets KF${KF_MAJOR_VERSION}::WidgetsAddons KF${KF_MAJOR_VERSION}::CoreAddons KF${KF_MAJOR_VERSION}::I18n KF${KF_MAJOR_VERSION}::ConfigCore KF${KF_MAJOR_VERSION}::SyntaxHighlighting)
