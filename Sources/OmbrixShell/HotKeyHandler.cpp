#include "OmbrixShell/HotKeyHandler.h"

#include <optional>

#include <QUrl>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/HotKeyService.h"
#include "OmbrixState/AppState.h"

namespace {

// A blank candidate would be contained in nearly every title and pick an entry for any window.
bool containedIn(const QString& candidate, const QString& lowerCasedTitle) {
    if (candidate.trimmed().isEmpty()) return false;
    return lowerCasedTitle.contains(candidate.toLower());
}

// The host names the site whatever path the address has; an address written without a scheme
// has none, and then the whole text must stand in the title.
QString addressText(const QString& url) {
    const QUrl parsed(url);
    if (parsed.isValid() && !parsed.host().isEmpty()) return parsed.host();
    return url;
}

const KdbxEntry* firstMatch(const KdbxGroup& group, const QString& lowerCasedTitle) {
    // Own entries before those of the subgroups, depth first: the order of allEntries().
    for (const KdbxEntry& entry : group.entries)
        if (entry.autoTypeEnabled && HotKeyHandler::matches(entry, lowerCasedTitle)) return &entry;
    for (const KdbxGroup& child : group.groups)
        if (const KdbxEntry* found = firstMatch(child, lowerCasedTitle)) return found;
    return nullptr;
}

}  // namespace

void HotKeyHandler::operator()() const {
    // Always first, also while locked: the next auto-type goes to the window the user was in.
    autoType_->captureTarget();
    if (state_->isLocked() || !state_->database()) return;

    // QString::toLower is the locale-independent mapping: no Turkish dotted and dotless i rules.
    const QString title = autoType_->frontmostWindowTitle().value_or(QString()).toLower();
    if (const KdbxEntry* entry = firstMatch(state_->database()->root, title)) {
        state_->performAutoType(*entry);
    } else {
        state_->reportAutoTypeFailure(noMatchMessage);
    }
}

bool HotKeyHandler::matches(const KdbxEntry& entry, const QString& lowerCasedTitle) {
    if (lowerCasedTitle.isEmpty()) return false;
    if (containedIn(QString::fromStdString(entry.title), lowerCasedTitle)) return true;
    if (!entry.url.empty() && containedIn(addressText(QString::fromStdString(entry.url)), lowerCasedTitle))
        return true;
    for (const AutoTypeAssociation& association : entry.autoTypeWindowAssociations) {
        if (containedIn(QString::fromStdString(association.window).remove(QLatin1Char('*')), lowerCasedTitle))
            return true;
    }
    return false;
}

std::optional<QString> HotKeyHandler::unavailableMessage(const HotKeyService& hotKeys,
                                                         const QString& combination) {
    // Taken with every lock off is taken as the user presses it.
    if (hotKeys.isTakenWithoutLocks()) {
        return QStringLiteral(
                   "Genel kısayolu (%1) başka bir program kullanıyor; Ombrix'in kısayolu çalışmıyor. "
                   "Ayarlar'dan başka bir kısayol seçebilirsin.")
            .arg(combination);
    }
    switch (hotKeys.status()) {
        case HotKeyService::Status::partlyTaken:
            return QStringLiteral(
                       "Genel kısayolu (%1) bazı kilit tuşları açıkken başka bir program kullanıyor; o "
                       "durumda Ombrix'in kısayolu çalışmaz. Ayrıntılar Ayarlar'da.")
                .arg(combination);
        case HotKeyService::Status::failed:
            return QStringLiteral(
                       "Genel kısayol (%1) alınamadı: bu oturumda genel kısayol kullanılamıyor ya da "
                       "klavyede bu tuş yok.")
                .arg(combination);
        default:
            return std::nullopt;
    }
}
