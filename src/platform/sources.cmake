# The bottom layer: the system root and fixed paths, safe file reading and
# writing, outside programs, the session user. Links no other layer.
quor_add_layer(platform
    SOURCES paths.cpp programs.cpp process.cpp servicecommand.cpp loggingreload.cpp asyncprocess.cpp configcheck.cpp syslogngreader.cpp syslogngsubset.cpp
            privatefolder.cpp checkedwrite.cpp configsnapshot.cpp fileread.cpp folderentries.cpp filestamp.cpp unifieddiff.cpp
            stagedfile.cpp textdecode.cpp userfolder.cpp sessionuser.cpp integrity.cpp auditdatabase.cpp backslashescapes.cpp controlescape.cpp
    LIBRARIES Qt::Core KF${KF_MAJOR_VERSION}::I18n ${CMAKE_DL_LIBS})
quor_layer_logging(platform QUOR_PLATFORM "Events administration: files, outside programs and user folders")
# The page and its windows (editors, common, plugin) log on the category of the whole module.
ecm_qt_declare_logging_category(quoradminevents_platform
    HEADER quoradmineventslog.h
    IDENTIFIER QUOR_ADMIN_EVENTS
    CATEGORY_NAME quor.admin.events
    DESCRIPTION "Events administration: the page and its windows"
    EXPORT QUORADMINEVENTS)
