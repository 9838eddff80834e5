# The settings dialogs, the style preview and the about box: a library of their own, shared by
# the program and the dialog tests.
add_library(dirka_dialogs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/about_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mask_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/options_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/style_dialog.cpp
)
set_target_properties(dirka_dialogs PROPERTIES AUTOMOC ON)
target_include_directories(dirka_dialogs PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(dirka_dialogs PUBLIC dirka_core Qt6::Widgets)
target_link_libraries(dirka PRIVATE dirka_dialogs)
