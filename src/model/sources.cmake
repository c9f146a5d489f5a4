# Tree items, reader and writer bases, the event settings and the checkable model.
quor_add_layer(model
    SOURCES treeitem.cpp eventtreeitem.cpp abstractconfigparser.cpp abstractwriter.cpp checkabletreemodel.cpp
            datalanguage.cpp jsontext.cpp notifiedevents.cpp parametereditor.cpp parametervalue.cpp singleeventsparser.cpp
            eventswriter.cpp fixedsizepool.cpp
    LAYERS platform
    LIBRARIES Qt::Gui Qt::Concurrent KF${KF_MAJOR_VERSION}::I18n)
quor_layer_logging(model QUOR_MODEL "Events administration: readers, writers and the event settings")
