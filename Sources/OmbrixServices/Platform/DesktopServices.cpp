#include "OmbrixServices/Platform/DesktopServices.h"

#include <memory>

#include "OmbrixServices/Platform/QtClipboardBackend.h"
#include "OmbrixServices/Platform/X11AutoTypeBackend.h"
#include "OmbrixServices/Platform/X11HotKeyBackend.h"
#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/ClipboardService.h"
#include "OmbrixServices/Services/HotKeyService.h"

void installDesktopServices() {
    ClipboardService::installShared(std::make_unique<QtClipboardBackend>());
    AutoTypeService::installShared(createX11AutoTypeBackend());
    HotKeyService::installShared(createX11HotKeyBackend());
}
