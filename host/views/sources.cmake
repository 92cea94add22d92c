# Sources of host/views.
target_sources(host PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/favoritesecurities.h
    ${CMAKE_CURRENT_LIST_DIR}/favoritesecurities.cpp
    ${CMAKE_CURRENT_LIST_DIR}/favsecmodelproxyrecent.h
    ${CMAKE_CURRENT_LIST_DIR}/favsecmodelproxyrecent.cpp
    ${CMAKE_CURRENT_LIST_DIR}/securitiesmodel.h ${CMAKE_CURRENT_LIST_DIR}/securitiesmodel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/instrumentselectordialog.h
    ${CMAKE_CURRENT_LIST_DIR}/instrumentselectordialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/instrumentselectordialog.ui
    ${CMAKE_CURRENT_LIST_DIR}/visualeventcenter.h ${CMAKE_CURRENT_LIST_DIR}/visualeventcenter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/visualevent.h ${CMAKE_CURRENT_LIST_DIR}/visualevent.cpp
    ${CMAKE_CURRENT_LIST_DIR}/comboboxdelegate.h ${CMAKE_CURRENT_LIST_DIR}/comboboxdelegate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/checkboxdelegate.h ${CMAKE_CURRENT_LIST_DIR}/checkboxdelegate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/confirmationdialog.h
    ${CMAKE_CURRENT_LIST_DIR}/confirmationdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/confirmationdialog.ui
)
