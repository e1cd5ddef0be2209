#include "OmbrixServices/Services/AutoTypeError.h"

#include <utility>

#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

std::string describe(AutoTypeError::Kind kind, const std::string& name) {
    using Kind = AutoTypeError::Kind;
    switch (kind) {
        case Kind::targetActivationFailed:
            return name + " uygulaması ön plana getirilemedi.";
        case Kind::accessibilityPermissionMissing:
            return "Otomatik yazma için XTEST uzantılı bir X11 oturumu gerekli. Wayland oturumlarında "
                   "otomatik yazma kullanılamaz.";
        case Kind::noTargetApplication:
            return "Yazılacak hedef uygulama bulunamadı.";
        case Kind::eventCreationFailed:
            return "Klavye olayı oluşturulamadı.";
        case Kind::alreadyRunning:
            return "Otomatik yazma zaten sürüyor.";
        case Kind::keysHeld:
            return "Basılı tutulan bir tuş bırakılmadığı için otomatik yazma durduruldu.";
        case Kind::cancelled:
            return "Otomatik yazma durduruldu.";
        case Kind::focusMoved:
            return "Klavye odağı başka bir pencereye geçtiği için otomatik yazma durduruldu.";
        case Kind::keyboardGrabbed:
            return "Klavyeyi başka bir program tuttuğu için otomatik yazma durduruldu.";
        case Kind::targetClosed:
            return "Hedef pencere kapandığı için otomatik yazma durduruldu.";
    }
    return {};
}

}  // namespace

AutoTypeError::AutoTypeError(Kind kind, std::string name)
    : kind_(kind), name_(std::move(name)), message_(describe(kind_, name_)) {}

AutoTypeError AutoTypeError::targetActivationFailed(std::string name) {
    return AutoTypeError(Kind::targetActivationFailed, std::move(name));
}
AutoTypeError AutoTypeError::accessibilityPermissionMissing() {
    return AutoTypeError(Kind::accessibilityPermissionMissing, {});
}
AutoTypeError AutoTypeError::noTargetApplication() {
    return AutoTypeError(Kind::noTargetApplication, {});
}
AutoTypeError AutoTypeError::eventCreationFailed() {
    return AutoTypeError(Kind::eventCreationFailed, {});
}
AutoTypeError AutoTypeError::alreadyRunning() {
    return AutoTypeError(Kind::alreadyRunning, {});
}
AutoTypeError AutoTypeError::keysHeld() {
    return AutoTypeError(Kind::keysHeld, {});
}
AutoTypeError AutoTypeError::cancelled() {
    return AutoTypeError(Kind::cancelled, {});
}
AutoTypeError AutoTypeError::focusMoved() {
    return AutoTypeError(Kind::focusMoved, {});
}
AutoTypeError AutoTypeError::keyboardGrabbed() {
    return AutoTypeError(Kind::keyboardGrabbed, {});
}
AutoTypeError AutoTypeError::targetClosed() {
    return AutoTypeError(Kind::targetClosed, {});
}

bool operator==(const AutoTypeError& a, const AutoTypeError& b) {
    if (a.kind_ != b.kind_) return false;
    return a.kind_ != AutoTypeError::Kind::targetActivationFailed ||
           UnicodeText::canonicallyEqual(a.name_, b.name_);
}
