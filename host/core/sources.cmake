# Sources of host/core: the terminal's core object, plug-in interfaces, windows and options.
target_sources(host PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/iplugin.h
    ${CMAKE_CURRENT_LIST_DIR}/iviewfactory.h
    ${CMAKE_CURRENT_LIST_DIR}/iviewprovider.h
    ${CMAKE_CURRENT_LIST_DIR}/iview.h
    ${CMAKE_CURRENT_LIST_DIR}/iwindow.h
    ${CMAKE_CURRENT_LIST_DIR}/ioptionspage.h
    ${CMAKE_CURRENT_LIST_DIR}/itransport.h
    ${CMAKE_CURRENT_LIST_DIR}/hdxtransport.h ${CMAKE_CURRENT_LIST_DIR}/hdxtransport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/iwindowmanager.h
    ${CMAKE_CURRENT_LIST_DIR}/interfaces.cpp
    ${CMAKE_CURRENT_LIST_DIR}/icore.h ${CMAKE_CURRENT_LIST_DIR}/icore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hostwindow.h ${CMAKE_CURRENT_LIST_DIR}/hostwindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/windowmanager.h ${CMAKE_CURRENT_LIST_DIR}/windowmanager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/optionsdialog.h ${CMAKE_CURRENT_LIST_DIR}/optionsdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/optionsdialog.ui
    ${CMAKE_CURRENT_LIST_DIR}/mainsettingspage.h ${CMAKE_CURRENT_LIST_DIR}/mainsettingspage.cpp
)
