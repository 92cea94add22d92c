# Sources of host/actions: commands, their containers, context actions and model menus.
target_sources(host PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/actionmanager.h ${CMAKE_CURRENT_LIST_DIR}/actionmanager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/commandcontainer.h ${CMAKE_CURRENT_LIST_DIR}/commandcontainer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/command.h ${CMAKE_CURRENT_LIST_DIR}/command.cpp
    ${CMAKE_CURRENT_LIST_DIR}/action.h ${CMAKE_CURRENT_LIST_DIR}/action.cpp
    ${CMAKE_CURRENT_LIST_DIR}/modelmenu.h ${CMAKE_CURRENT_LIST_DIR}/modelmenu.cpp
)
