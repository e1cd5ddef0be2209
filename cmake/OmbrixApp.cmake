# OmbrixApp: application state, preferences, theme, views and shell; ombrix: the program.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets Svg)
find_package(ICU REQUIRED COMPONENTS uc i18n)

ombrix_collect_sources(OMBRIX_APP_SOURCES Ombrix/App Ombrix/Theme Ombrix/UI)
file(GLOB OMBRIX_APP_HEADERS CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/Sources/Ombrix/App/*.h
  ${PROJECT_SOURCE_DIR}/Sources/Ombrix/Theme/*.h
  ${PROJECT_SOURCE_DIR}/Sources/Ombrix/UI/*.h)
file(GLOB OMBRIX_APP_RESOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/Sources/Ombrix/Resources/*.qrc)
if(OMBRIX_APP_SOURCES)
  add_library(OmbrixApp STATIC ${OMBRIX_APP_SOURCES} ${OMBRIX_APP_HEADERS} ${OMBRIX_APP_RESOURCES})
  set_target_properties(OmbrixApp PROPERTIES AUTOMOC ON AUTORCC ON)
  target_link_libraries(OmbrixApp PUBLIC OmbrixCore Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Svg)
  # Turkish relative dates ("5 dk. önce") come from ICU's relative date-time formatter.
  target_link_libraries(OmbrixApp PRIVATE ICU::uc ICU::i18n)
  if(TARGET OmbrixServices)
    target_link_libraries(OmbrixApp PUBLIC OmbrixServices)
  endif()
  if(EXISTS ${PROJECT_SOURCE_DIR}/Sources/Ombrix/main.cpp)
    add_executable(ombrix ${PROJECT_SOURCE_DIR}/Sources/Ombrix/main.cpp)
    target_link_libraries(ombrix PRIVATE OmbrixApp)
  endif()
endif()
