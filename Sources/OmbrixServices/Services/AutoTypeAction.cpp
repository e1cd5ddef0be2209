#include "OmbrixServices/Services/AutoTypeAction.h"

#include <utility>

#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

AutoTypeAction AutoTypeAction::text(std::string text) {
    AutoTypeAction action(Kind::text);
    action.text_ = std::move(text);
    return action;
}

AutoTypeAction AutoTypeAction::key(AutoTypeKey key) {
    AutoTypeAction action(Kind::key);
    action.key_ = key;
    return action;
}

AutoTypeAction AutoTypeAction::delay(std::int64_t milliseconds) {
    AutoTypeAction action(Kind::delay);
    action.milliseconds_ = milliseconds;
    return action;
}

AutoTypeAction AutoTypeAction::clearField() {
    return AutoTypeAction(Kind::clearField);
}

const std::string& AutoTypeAction::textValue() const {
    OMBRIX_PRECONDITION(kind_ == Kind::text, "AutoTypeAction::textValue on a step without text");
    return text_;
}

AutoTypeKey AutoTypeAction::keyValue() const {
    OMBRIX_PRECONDITION(kind_ == Kind::key, "AutoTypeAction::keyValue on a step without a key");
    return key_;
}

std::int64_t AutoTypeAction::delayMilliseconds() const {
    OMBRIX_PRECONDITION(kind_ == Kind::delay, "AutoTypeAction::delayMilliseconds on a step without a pause");
    return milliseconds_;
}

void AutoTypeAction::wipe() noexcept {
    wipeString(text_);
}

bool operator==(const AutoTypeAction& a, const AutoTypeAction& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
        case AutoTypeAction::Kind::text:
            return UnicodeText::canonicallyEqual(a.text_, b.text_);
        case AutoTypeAction::Kind::key:
            return a.key_ == b.key_;
        case AutoTypeAction::Kind::delay:
            return a.milliseconds_ == b.milliseconds_;
        case AutoTypeAction::Kind::clearField:
            return true;
    }
    return false;
}

void wipeString(std::string& s) noexcept {
    // Growing to the capacity never reallocates, and makes the bytes past the old length
    // (left over from earlier, longer contents) part of what is wiped.
    s.resize(s.capacity());
    secureWipe(s.data(), s.size());
    s.clear();
}
