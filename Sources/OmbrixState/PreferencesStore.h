#pragma once

#include <memory>

#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// Where the preferences live: a per-user key-value store. Values come back as the store keeps
// them, which for the INI files of QSettings means as text; the reader interprets them.
class PreferencesStore {
  public:
    virtual ~PreferencesStore() = default;

    // The stored value, or an invalid QVariant when the key is missing.
    virtual QVariant value(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;
};

// The user's settings through QSettings: organization "Ombrix", application "Ombrix", native
// format (an INI file under the XDG configuration folder). Every write is flushed at once.
class SettingsPreferencesStore final : public PreferencesStore {
  public:
    SettingsPreferencesStore();
    // An INI file of its own, for tests and tools.
    explicit SettingsPreferencesStore(const QString& iniFile);

    QVariant value(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;

  private:
    std::unique_ptr<QSettings> settings_;
};

// A store in memory that keeps the values' types; for tests.
class MemoryPreferencesStore final : public PreferencesStore {
  public:
    MemoryPreferencesStore() = default;
    explicit MemoryPreferencesStore(QVariantMap values) : values_(std::move(values)) {}

    QVariant value(const QString& key) const override { return values_.value(key); }
    void setValue(const QString& key, const QVariant& value) override { values_.insert(key, value); }
    void remove(const QString& key) override { values_.remove(key); }

    const QVariantMap& values() const { return values_; }

  private:
    QVariantMap values_;
};
