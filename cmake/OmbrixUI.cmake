# OmbrixUI: the views, which read the application's state and call its operations.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)
find_package(ICU REQUIRED COMPONENTS uc i18n)

ombrix_add_qt_layer(OmbrixUI)
target_link_libraries(OmbrixUI PUBLIC OmbrixState OmbrixTheme OmbrixServices OmbrixCore Qt6::Widgets)
# Turkish relative dates ("5 dk. önce") come from ICU's relative date-time formatter.
target_link_libraries(OmbrixUI PRIVATE ICU::uc ICU::i18n)
