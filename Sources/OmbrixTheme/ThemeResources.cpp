#include "OmbrixTheme/ThemeResources.h"

#include <QtCore/qglobal.h>

#include <mutex>

void ensureThemeResources() {
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(Ombrix); });
}
