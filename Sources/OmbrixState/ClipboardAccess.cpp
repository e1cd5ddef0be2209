#include "OmbrixState/ClipboardAccess.h"

#include "OmbrixServices/Services/ClipboardService.h"

void SharedClipboardAccess::copySecret(const QString& text) {
    ClipboardService::shared().copySecret(text);
}

void SharedClipboardAccess::copyPlain(const QString& text) {
    ClipboardService::shared().copyPlain(text);
}

void SharedClipboardAccess::clearNow() {
    ClipboardService::shared().clearNow();
}
