#include "OmbrixState/PreferencesStore.h"

SettingsPreferencesStore::SettingsPreferencesStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Ombrix"), QStringLiteral("Ombrix"))) {}

SettingsPreferencesStore::SettingsPreferencesStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QVariant SettingsPreferencesStore::value(const QString& key) const {
    return settings_->value(key);
}

void SettingsPreferencesStore::setValue(const QString& key, const QVariant& value) {
    settings_->setValue(key, value);
    settings_->sync();
}

void SettingsPreferencesStore::remove(const QString& key) {
    settings_->remove(key);
    settings_->sync();
}
