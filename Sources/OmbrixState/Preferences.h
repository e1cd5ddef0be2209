#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include "OmbrixServices/Services/PasswordGenerator.h"
#include "OmbrixState/PreferencesStore.h"

// The user's settings, read once from the store when the object is made and written back at
// once on every assignment (also when the value is the same). Reading never fails: a missing
// key, a value of the wrong type or a value out of its range gives the setting's default (the
// generator length is clamped to the generator sheet's range instead). Stored text that looks
// like the setting's type counts as that type, because INI files keep only text.
// Each property notifies when its value actually changes.
class Preferences : public QObject {
    Q_OBJECT
    Q_PROPERTY(double clipboardTimeout READ clipboardTimeout WRITE setClipboardTimeout NOTIFY
                   clipboardTimeoutChanged)
    Q_PROPERTY(QString sortColumn READ sortColumn WRITE setSortColumn NOTIFY sortColumnChanged)
    Q_PROPERTY(bool sortAscending READ sortAscending WRITE setSortAscending NOTIFY sortAscendingChanged)
    Q_PROPERTY(QString defaultAutoTypeSequence READ defaultAutoTypeSequence WRITE setDefaultAutoTypeSequence
                   NOTIFY defaultAutoTypeSequenceChanged)
    Q_PROPERTY(quint32 hotKeyCode READ hotKeyCode WRITE setHotKeyCode NOTIFY hotKeyCodeChanged)
    Q_PROPERTY(
        quint32 hotKeyModifiers READ hotKeyModifiers WRITE setHotKeyModifiers NOTIFY hotKeyModifiersChanged)
    Q_PROPERTY(std::optional<QByteArray> recentDatabaseBookmark READ recentDatabaseBookmark WRITE
                   setRecentDatabaseBookmark NOTIFY recentDatabaseBookmarkChanged)
    Q_PROPERTY(PasswordGenerator::Options generatorOptions READ generatorOptions WRITE setGeneratorOptions
                   NOTIFY generatorOptionsChanged)

  public:
    // Receives the clipboard time-out at creation and on every assignment.
    using TimeoutSink = std::function<void(double seconds)>;

    static constexpr double defaultClipboardTimeout = 12.0;
    static constexpr quint32 defaultHotKeyCode = 0;
    // Command and Option in the stored Carbon bits, shown as Ctrl+Alt.
    static constexpr quint32 defaultHotKeyModifiers = 2304;
    // The generator sheet's range of lengths.
    static constexpr std::int64_t minimumGeneratorLength = 1;
    static constexpr std::int64_t maximumGeneratorLength = 128;

    // The process's preferences over QSettings, handing the time-out to the clipboard service.
    static Preferences& shared();

    explicit Preferences(std::unique_ptr<PreferencesStore> store, TimeoutSink clipboardTimeoutSink = {},
                         QObject* parent = nullptr);

    double clipboardTimeout() const { return clipboardTimeout_; }
    // A time-out that is not a finite number above zero becomes the default.
    void setClipboardTimeout(double seconds);

    QString sortColumn() const { return sortColumn_; }
    void setSortColumn(const QString& column);

    bool sortAscending() const { return sortAscending_; }
    void setSortAscending(bool ascending);

    QString defaultAutoTypeSequence() const { return defaultAutoTypeSequence_; }
    void setDefaultAutoTypeSequence(const QString& sequence);

    quint32 hotKeyCode() const { return hotKeyCode_; }
    void setHotKeyCode(quint32 code);

    quint32 hotKeyModifiers() const { return hotKeyModifiers_; }
    void setHotKeyModifiers(quint32 modifiers);

    // Stores both halves of the hot key before announcing either, so that whoever registers the
    // key on a change signal never sees the new code with the old modifiers. Both values are
    // stored even when unchanged.
    void setHotKey(quint32 code, quint32 modifiers);

    std::optional<QByteArray> recentDatabaseBookmark() const { return recentDatabaseBookmark_; }
    // None removes the key.
    void setRecentDatabaseBookmark(const std::optional<QByteArray>& bookmark);

    PasswordGenerator::Options generatorOptions() const { return generatorOptions_; }
    // The length is clamped to the sheet's range.
    void setGeneratorOptions(const PasswordGenerator::Options& options);

    // The stored form of generator options: "length" and the five switches.
    static QVariantMap encode(const PasswordGenerator::Options& options);
    // Options from a stored dictionary; none without one, or without an integer "length".
    // Missing switches take their defaults; the length is clamped to the sheet's range.
    static std::optional<PasswordGenerator::Options> decode(const QVariant& stored);

  signals:
    void clipboardTimeoutChanged();
    void sortColumnChanged();
    void sortAscendingChanged();
    void defaultAutoTypeSequenceChanged();
    void hotKeyCodeChanged();
    void hotKeyModifiersChanged();
    // Once per assignment that changed the code, the modifiers or both, after both are stored:
    // the one signal to register the hot key again on.
    void hotKeyChanged();
    void recentDatabaseBookmarkChanged();
    void generatorOptionsChanged();

  private:
    template <class T>
    bool assign(T& field, const T& value, const QString& key, const QVariant& stored);

    std::unique_ptr<PreferencesStore> store_;
    TimeoutSink clipboardTimeoutSink_;
    double clipboardTimeout_ = defaultClipboardTimeout;
    QString sortColumn_;
    bool sortAscending_ = true;
    QString defaultAutoTypeSequence_;
    quint32 hotKeyCode_ = defaultHotKeyCode;
    quint32 hotKeyModifiers_ = defaultHotKeyModifiers;
    std::optional<QByteArray> recentDatabaseBookmark_;
    PasswordGenerator::Options generatorOptions_;
};
