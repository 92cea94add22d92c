# Sources of host/gui.
target_sources(host PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/colorbutton.h ${CMAKE_CURRENT_LIST_DIR}/colorbutton.cpp
    ${CMAKE_CURRENT_LIST_DIR}/colorsplitter.h ${CMAKE_CURRENT_LIST_DIR}/colorsplitter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stickyscrollbar.h ${CMAKE_CURRENT_LIST_DIR}/stickyscrollbar.cpp
    ${CMAKE_CURRENT_LIST_DIR}/flowlayout.h ${CMAKE_CURRENT_LIST_DIR}/flowlayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/elidecombobox.h ${CMAKE_CURRENT_LIST_DIR}/elidecombobox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/inputfilenamedialog.h
    ${CMAKE_CURRENT_LIST_DIR}/inputfilenamedialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/inputfilenamedialog.ui
)
