# OmbrixServices: desktop services (auto-type, clipboard, hot key, generator) and, under
# Platform/, the X11 and Qt backends they are given.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui)
find_package(ICU REQUIRED COMPONENTS uc i18n)
pkg_check_modules(X11DEPS REQUIRED IMPORTED_TARGET
  xcb xcb-xkb xcb-xtest xkbcommon xkbcommon-x11)

ombrix_collect_sources(OMBRIX_SERVICES_SOURCES OmbrixServices/Services OmbrixServices/Platform)
file(GLOB OMBRIX_SERVICES_HEADERS CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/Sources/OmbrixServices/Services/*.h
  ${PROJECT_SOURCE_DIR}/Sources/OmbrixServices/Platform/*.h)
if(OMBRIX_SERVICES_SOURCES)
  add_library(OmbrixServices STATIC ${OMBRIX_SERVICES_SOURCES} ${OMBRIX_SERVICES_HEADERS})
  set_target_properties(OmbrixServices PROPERTIES AUTOMOC ON)
  target_link_libraries(OmbrixServices
    PUBLIC OmbrixCore Qt6::Core Qt6::Gui
    PRIVATE OpenSSL::Crypto ICU::uc ICU::i18n PkgConfig::X11DEPS)
endif()
