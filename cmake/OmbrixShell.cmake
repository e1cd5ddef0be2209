# OmbrixShell: the application object that puts the layers below together (window, menus,
# window sizing, the global hot key, termination signals); ombrix: the program, a thin main.cpp.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)

ombrix_add_qt_layer(OmbrixShell EXCLUDE main.cpp)
target_link_libraries(OmbrixShell
  PUBLIC OmbrixUI OmbrixState OmbrixServices OmbrixCore Qt6::Widgets
  PRIVATE OmbrixTheme)

add_executable(ombrix ${PROJECT_SOURCE_DIR}/Sources/OmbrixShell/main.cpp)
target_link_libraries(ombrix PRIVATE OmbrixShell OmbrixTheme)
