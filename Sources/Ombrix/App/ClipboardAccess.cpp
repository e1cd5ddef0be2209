#include "Ombrix/App/ClipboardAccess.h"

// PENDING: ClipboardService::shared() once it is merged.
void SharedClipboardAccess::copySecret(const QString&) {}
void SharedClipboardAccess::copyPlain(const QString&) {}
void SharedClipboardAccess::clearNow() {}
