# OmbrixState: the application's state over the engine and the services: the open database and
# its operations, preferences, the file store and file dialogs, the work runner.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets)

ombrix_add_qt_layer(OmbrixState)
target_link_libraries(OmbrixState PUBLIC OmbrixServices OmbrixCore Qt6::Core PRIVATE Qt6::Widgets)
