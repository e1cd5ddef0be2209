#include "OmbrixState/Preferences.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QMetaType>
#include <QStringList>
#include <QVariantHash>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/ClipboardService.h"

namespace {

const QString keyClipboardTimeout = QStringLiteral("clipboardTimeout");
const QString keySortColumn = QStringLiteral("sortColumn");
const QString keySortAscending = QStringLiteral("sortAscending");
const QString keyDefaultAutoTypeSequence = QStringLiteral("defaultAutoTypeSequence");
const QString keyHotKeyCode = QStringLiteral("hotKeyCode");
const QString keyHotKeyModifiers = QStringLiteral("hotKeyModifiers");
const QString keyRecentDatabaseBookmark = QStringLiteral("recentDatabaseBookmark");
const QString keyGeneratorOptions = QStringLiteral("generatorOptions");

bool isIntegerType(int type) {
    switch (type) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
            return true;
        default:
            return false;
    }
}

bool isFloatType(int type) {
    return type == QMetaType::Double || type == QMetaType::Float;
}

bool isText(const QVariant& v) {
    return v.typeId() == QMetaType::QString;
}

std::optional<double> readNumber(const QVariant& v) {
    const int type = v.typeId();
    if (isIntegerType(type) || isFloatType(type)) return v.toDouble();
    if (isText(v)) {
        bool ok = false;
        const double value = v.toString().trimmed().toDouble(&ok);
        if (ok) return value;
    }
    return std::nullopt;
}

// An integral value: integers, floating-point numbers without a fraction, or their text.
std::optional<std::int64_t> readInteger(const QVariant& v) {
    const int type = v.typeId();
    if (type == QMetaType::ULongLong || type == QMetaType::ULong || type == QMetaType::UInt) {
        const qulonglong value = v.toULongLong();
        if (value > static_cast<qulonglong>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(value);
    }
    if (isIntegerType(type)) return v.toLongLong();
    std::optional<double> number;
    if (isFloatType(type)) {
        number = v.toDouble();
    } else if (isText(v)) {
        bool ok = false;
        const QString text = v.toString().trimmed();
        const qlonglong value = text.toLongLong(&ok);
        if (ok) return value;
        const double d = text.toDouble(&ok);
        if (ok) number = d;
    }
    // 2^63 is the first double past the signed 64-bit range.
    if (number && std::isfinite(*number) && std::trunc(*number) == *number &&
        *number >= -9.2233720368547758e18 && *number < 9.2233720368547758e18) {
        return static_cast<std::int64_t>(*number);
    }
    return std::nullopt;
}

// A Boolean, the number 0 or 1, or the text QSettings writes for a Boolean.
std::optional<bool> readBool(const QVariant& v) {
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (isText(v)) {
        const QString text = v.toString().trimmed();
        if (text == u"true") return true;
        if (text == u"false") return false;
    }
    if (isIntegerType(v.typeId()) || isFloatType(v.typeId()) || isText(v)) {
        if (const std::optional<double> n = readNumber(v)) {
            if (*n == 0) return false;
            if (*n == 1) return true;
        }
    }
    return std::nullopt;
}

// A text, or a number in its text form. INI splits an unquoted text at its commas; the parts
// are joined back.
std::optional<QString> readText(const QVariant& v) {
    if (isText(v)) return v.toString();
    if (isIntegerType(v.typeId()) || isFloatType(v.typeId())) return v.toString();
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    return std::nullopt;
}

std::optional<QVariantMap> readMap(const QVariant& v) {
    if (v.typeId() == QMetaType::QVariantMap) return v.toMap();
    if (v.typeId() == QMetaType::QVariantHash) {
        QVariantMap map;
        const QVariantHash hash = v.toHash();
        for (auto it = hash.begin(); it != hash.end(); ++it) map.insert(it.key(), it.value());
        return map;
    }
    return std::nullopt;
}

bool validTimeout(double seconds) {
    return std::isfinite(seconds) && seconds > 0;
}

std::optional<quint32> readHotKeyValue(const QVariant& v) {
    const std::optional<std::int64_t> value = readInteger(v);
    if (!value || *value < 0 || *value > std::numeric_limits<quint32>::max()) return std::nullopt;
    return static_cast<quint32>(*value);
}

std::int64_t clampedLength(std::int64_t length) {
    return std::clamp(length, Preferences::minimumGeneratorLength, Preferences::maximumGeneratorLength);
}

}  // namespace

Preferences::Preferences(std::unique_ptr<PreferencesStore> store, TimeoutSink clipboardTimeoutSink,
                         QObject* parent)
    : QObject(parent), store_(std::move(store)), clipboardTimeoutSink_(std::move(clipboardTimeoutSink)) {
    sortColumn_ = readText(store_->value(keySortColumn)).value_or(QStringLiteral("title"));
    sortAscending_ = readBool(store_->value(keySortAscending)).value_or(true);
    const std::optional<double> timeout = readNumber(store_->value(keyClipboardTimeout));
    clipboardTimeout_ = timeout && validTimeout(*timeout) ? *timeout : defaultClipboardTimeout;
    defaultAutoTypeSequence_ =
        readText(store_->value(keyDefaultAutoTypeSequence))
            .value_or(QString::fromUtf8(AutoTypeService::defaultSequence.data(),
                                        static_cast<qsizetype>(AutoTypeService::defaultSequence.size())));
    hotKeyCode_ = readHotKeyValue(store_->value(keyHotKeyCode)).value_or(defaultHotKeyCode);
    hotKeyModifiers_ = readHotKeyValue(store_->value(keyHotKeyModifiers)).value_or(defaultHotKeyModifiers);
    const QVariant bookmark = store_->value(keyRecentDatabaseBookmark);
    if (bookmark.typeId() == QMetaType::QByteArray) recentDatabaseBookmark_ = bookmark.toByteArray();
    generatorOptions_ =
        decode(store_->value(keyGeneratorOptions)).value_or(PasswordGenerator::Options::defaults());
    if (clipboardTimeoutSink_) clipboardTimeoutSink_(clipboardTimeout_);
}

// Every assignment is written, also of an unchanged value, so that the store holds what was set
// last; the caller notifies only when the value changed, which this returns.
template <class T>
bool Preferences::assign(T& field, const T& value, const QString& key, const QVariant& stored) {
    const bool changed = value != field;
    field = value;
    store_->setValue(key, stored);
    return changed;
}

void Preferences::setClipboardTimeout(double seconds) {
    if (!validTimeout(seconds)) seconds = defaultClipboardTimeout;
    const bool changed = assign(clipboardTimeout_, seconds, keyClipboardTimeout, seconds);
    if (clipboardTimeoutSink_) clipboardTimeoutSink_(seconds);
    if (changed) emit clipboardTimeoutChanged();
}

void Preferences::setSortColumn(const QString& column) {
    if (assign(sortColumn_, column, keySortColumn, column)) emit sortColumnChanged();
}

void Preferences::setSortAscending(bool ascending) {
    if (assign(sortAscending_, ascending, keySortAscending, ascending)) emit sortAscendingChanged();
}

void Preferences::setDefaultAutoTypeSequence(const QString& sequence) {
    if (assign(defaultAutoTypeSequence_, sequence, keyDefaultAutoTypeSequence, sequence))
        emit defaultAutoTypeSequenceChanged();
}

void Preferences::setHotKeyCode(quint32 code) {
    if (assign(hotKeyCode_, code, keyHotKeyCode, static_cast<qlonglong>(code))) {
        emit hotKeyCodeChanged();
        emit hotKeyChanged();
    }
}

void Preferences::setHotKeyModifiers(quint32 modifiers) {
    if (assign(hotKeyModifiers_, modifiers, keyHotKeyModifiers, static_cast<qlonglong>(modifiers))) {
        emit hotKeyModifiersChanged();
        emit hotKeyChanged();
    }
}

void Preferences::setHotKey(quint32 code, quint32 modifiers) {
    const bool codeChanged = assign(hotKeyCode_, code, keyHotKeyCode, static_cast<qlonglong>(code));
    const bool modifiersChanged =
        assign(hotKeyModifiers_, modifiers, keyHotKeyModifiers, static_cast<qlonglong>(modifiers));
    if (codeChanged) emit hotKeyCodeChanged();
    if (modifiersChanged) emit hotKeyModifiersChanged();
    if (codeChanged || modifiersChanged) emit hotKeyChanged();
}

void Preferences::setRecentDatabaseBookmark(const std::optional<QByteArray>& bookmark) {
    const bool changed = bookmark != recentDatabaseBookmark_;
    recentDatabaseBookmark_ = bookmark;
    if (bookmark) {
        store_->setValue(keyRecentDatabaseBookmark, *bookmark);
    } else {
        store_->remove(keyRecentDatabaseBookmark);
    }
    if (changed) emit recentDatabaseBookmarkChanged();
}

void Preferences::setGeneratorOptions(const PasswordGenerator::Options& options) {
    PasswordGenerator::Options bounded = options;
    bounded.length = clampedLength(options.length);
    if (assign(generatorOptions_, bounded, keyGeneratorOptions, encode(bounded)))
        emit generatorOptionsChanged();
}

QVariantMap Preferences::encode(const PasswordGenerator::Options& options) {
    return {
        {QStringLiteral("length"), static_cast<qlonglong>(options.length)},
        {QStringLiteral("upper"), options.upper},
        {QStringLiteral("lower"), options.lower},
        {QStringLiteral("digits"), options.digits},
        {QStringLiteral("symbols"), options.symbols},
        {QStringLiteral("excludeAmbiguous"), options.excludeAmbiguous},
    };
}

std::optional<PasswordGenerator::Options> Preferences::decode(const QVariant& stored) {
    const std::optional<QVariantMap> map = readMap(stored);
    if (!map || map->isEmpty()) return std::nullopt;
    const std::optional<std::int64_t> length = readInteger(map->value(QStringLiteral("length")));
    if (!length) return std::nullopt;
    auto flag = [&](const char* key, bool fallback) {
        return readBool(map->value(QString::fromLatin1(key))).value_or(fallback);
    };
    PasswordGenerator::Options options;
    options.length = clampedLength(*length);
    options.upper = flag("upper", true);
    options.lower = flag("lower", true);
    options.digits = flag("digits", true);
    options.symbols = flag("symbols", true);
    options.excludeAmbiguous = flag("excludeAmbiguous", false);
    return options;
}

Preferences& Preferences::shared() {
    // Lives as long as the process, like the clipboard service it feeds.
    static Preferences* instance =
        new Preferences(std::make_unique<SettingsPreferencesStore>(),
                        [](double seconds) { ClipboardService::shared().setClearAfter(seconds); });
    return *instance;
}
