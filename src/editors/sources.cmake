quor_add_layer(editors
    SOURCES pathchooser.cpp filesdialog.cpp filesdialog.ui bytesize.cpp diskspacemondialog.cpp
            diskspacemondialog.ui fileeditor.cpp fileeditor.ui problemsmessage.cpp changedoutside.cpp messagebox.cpp
            reviewchangesdialog.cpp snapshotbeforewrite.cpp rowbuttons.cpp settingstab.cpp boundedspinbox.cpp plaintext.cpp
    LAYERS services model platform
    LIBRARIES Qt::Widgets KF${KF_MAJOR_VERSION}::WidgetsAddons KF${KF_MAJOR_VERSION}::CoreAddons KF${KF_MAJOR_VERSION}::I18n KF${KF_MAJOR_VERSION}::ConfigCore KF${KF_MAJOR_VERSION}::SyntaxHighlighting)
