#include "OmbrixServices/Services/HotKeyService.h"

#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixServices/Services/CarbonKeyTable.h"

#include <QMetaObject>

#include <string_view>

namespace {

// Never destroyed, like the application's other shared services.
HotKeyService* sharedInstance = nullptr;

// The legend of a printable key of the main block on a US keyboard, from its XKB name: the four
// alphanumeric rows are named by row and position ("AC01" is the first key of row C, A). Used
// when no keyboard layout can be asked (no X11 display, Wayland); empty for other keys.
QString usLegend(std::string_view xkbName) {
    if (xkbName == "TLDE") return QStringLiteral("`");
    if (xkbName == "BKSL") return QStringLiteral("\\");
    if (xkbName.size() != 4 || xkbName[0] != 'A') return {};
    std::u16string_view row;
    switch (xkbName[1]) {
        case 'E':
            row = u"1234567890-=";
            break;
        case 'D':
            row = u"QWERTYUIOP[]";
            break;
        case 'C':
            row = u"ASDFGHJKL;'";
            break;
        case 'B':
            row = u"ZXCVBNM,./";
            break;
        default:
            return {};
    }
    if (xkbName[2] < '0' || xkbName[2] > '9' || xkbName[3] < '0' || xkbName[3] > '9') return {};
    const std::size_t position = static_cast<std::size_t>((xkbName[2] - '0') * 10 + (xkbName[3] - '0'));
    if (position < 1 || position > row.size()) return {};
    return QString(QChar(row[position - 1]));
}

}  // namespace

HotKeyService& HotKeyService::shared() {
    OMBRIX_PRECONDITION(sharedInstance, "HotKeyService::shared() before installShared()");
    return *sharedInstance;
}

void HotKeyService::installShared(std::unique_ptr<Backend> backend) {
    OMBRIX_PRECONDITION(!sharedInstance, "HotKeyService::installShared() twice");
    sharedInstance = new HotKeyService(std::move(backend));
}

HotKeyService::HotKeyService(std::unique_ptr<Backend> backend, QObject* parent)
    : QObject(parent), backend_(std::move(backend)) {
    backend_->followGrant([this](const Grant& grant) {
        if (!registration_) return;
        takeGrant(grant);
        emit registrationChanged();
    });
}

HotKeyService::~HotKeyService() {
    if (registration_) backend_->ungrab();
}

void HotKeyService::registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                   std::function<void()> handler) {
    unregister();
    wanted_ = Registration{keyCode, modifiers};
    wantedHandler_ = handler;
    handler_ = std::move(handler);
    currentId_ = nextId_;
    nextId_ += 1;  // wraps modulo 2^32
    // The press is handed on to a later turn of the event loop, where fire() checks that the
    // registration it belongs to is still the current one.
    const Grant grant = backend_->grab(keyCode, modifiers, currentId_, [this](std::uint32_t id) {
        QMetaObject::invokeMethod(
            this, [this, id] { fire(id); }, Qt::QueuedConnection);
    });
    if (!grant.granted) {
        status_ = grant.takenByOther ? Status::taken : Status::failed;
        handler_ = nullptr;
        // Told even though the registration stays absent: the status changed.
        emit registrationChanged();
        return;
    }
    registration_ = Registration{keyCode, modifiers};
    takeGrant(grant);
    emit registrationChanged();
}

void HotKeyService::takeGrant(const Grant& grant) {
    lockStatesTaken_ = grant.lockStatesTaken;
    status_ = lockStatesTaken_.isEmpty() ? Status::registered : Status::partlyTaken;
}

void HotKeyService::registerAgainIfRefused() {
    if (!wanted_ || status_ == Status::registered) return;
    const Registration wanted = *wanted_;
    registerHotKey(wanted.keyCode, wanted.modifiers, wantedHandler_);
}

void HotKeyService::unregister() {
    if (registration_) backend_->ungrab();
    currentId_ = 0;
    registration_.reset();
    status_ = Status::none;
    lockStatesTaken_.clear();
    wanted_.reset();
    wantedHandler_ = nullptr;
    emit registrationChanged();
    handler_ = nullptr;
}

void HotKeyService::fire(std::uint32_t id) {
    if (!registration_ || id != currentId_ || !handler_) return;
    // A copy: the handler may register again and replace itself.
    std::function<void()> handler = handler_;
    handler();
}

QString HotKeyService::displayText(std::uint32_t keyCode, std::uint32_t modifiers) const {
    return CarbonKeyTable::describe(modifiers, keyName(keyCode));
}

QString HotKeyService::displayString(std::uint32_t keyCode, std::uint32_t modifiers) {
    return shared().displayText(keyCode, modifiers);
}

std::optional<std::uint32_t> HotKeyService::keyCodeOfNativeKey(std::uint32_t nativeKeyCode) const {
    return backend_->keyCodeOfNativeKey(nativeKeyCode);
}

QString HotKeyService::keyName(std::uint32_t keyCode) const {
    // Keys that type nothing visible get fixed names, in the words Qt uses for them.
    switch (keyCode) {
        case 36:
            return QStringLiteral("Return");
        case 48:
            return QStringLiteral("Tab");
        case 49:
            return QStringLiteral("Space");
        case 53:
            return QStringLiteral("Esc");
        case 122:
            return QStringLiteral("F1");
        case 120:
            return QStringLiteral("F2");
        case 99:
            return QStringLiteral("F3");
        case 118:
            return QStringLiteral("F4");
        case 96:
            return QStringLiteral("F5");
        case 97:
            return QStringLiteral("F6");
        case 98:
            return QStringLiteral("F7");
        case 100:
            return QStringLiteral("F8");
        case 101:
            return QStringLiteral("F9");
        case 109:
            return QStringLiteral("F10");
        case 103:
            return QStringLiteral("F11");
        case 111:
            return QStringLiteral("F12");
        default:
            break;
    }
    const QString text = backend_->keyText(keyCode);
    if (!text.isEmpty()) return text.toUpper();
    if (const std::optional<std::string_view> name = CarbonKeyTable::xkbName(keyCode)) {
        const QString legend = usLegend(*name);
        if (!legend.isEmpty()) return legend;
    }
    return QStringLiteral("#%1").arg(keyCode);
}
