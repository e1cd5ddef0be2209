# OmbrixTheme: the look (palette, metrics, fonts, icons, motion) and the themed controls, with
# the bundled fonts and icons it registers. It knows nothing of the application's state.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets Svg)

ombrix_add_qt_layer(OmbrixTheme)
target_sources(OmbrixTheme PRIVATE ${PROJECT_SOURCE_DIR}/Sources/OmbrixTheme/Resources/Ombrix.qrc)
set_target_properties(OmbrixTheme PROPERTIES AUTORCC ON)
target_link_libraries(OmbrixTheme PUBLIC ombrix_options Qt6::Widgets PRIVATE OmbrixCore Qt6::Svg)
