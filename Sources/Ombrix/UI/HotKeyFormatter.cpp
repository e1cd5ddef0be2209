#include "Ombrix/UI/HotKeyFormatter.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include "OmbrixCore/Platform/CarbonKeyTable.h"
#include "OmbrixCore/Platform/X11KeyCode.h"
#include "OmbrixCore/Services/HotKeyService.h"

namespace HotKeyFormatter {

std::uint32_t carbonModifiers(Qt::KeyboardModifiers modifiers) {
    return CarbonKeyTable::carbonMask(modifiers);
}

std::optional<std::uint32_t> carbonKeyCode(const QKeyEvent& event) {
    // Only the xcb platform reports X11 key codes as native scan codes.
    if (event.nativeScanCode() != 0 && QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (const std::optional<std::uint32_t> code = carbonKeyCodeOfX11KeyCode(event.nativeScanCode()))
            return code;
    }
    // Qt reports Shift+Tab as a key of its own.
    const int key = event.key() == Qt::Key_Backtab ? Qt::Key_Tab : event.key();
    return CarbonKeyTable::carbonCode(static_cast<Qt::Key>(key));
}

QString describe(std::uint32_t keyCode, std::uint32_t modifiers) {
    return HotKeyService::displayString(keyCode, modifiers);
}

}  // namespace HotKeyFormatter
