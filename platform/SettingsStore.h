#pragma once
// The per-user settings store: application "Tessivar", section "Lumicade",
// every value a text. Tests hand it a settings file of their own.
#include <QString>
#include <memory>

class QSettings;

namespace lumicade {

class SettingsStore {
public:
    SettingsStore();                               // the user's real store
    explicit SettingsStore(const QString& iniFile);  // a store in a file (tests)
    ~SettingsStore();

    // The stored text, or the default when the setting is absent.
    QString GetSetting(const QString& key, const QString& defaultValue) const;
    void SaveSetting(const QString& key, const QString& value);

    // The platform's conversions of stored text; both throw VbError(13) on bad text.
    static int ToWholeNumber(const QString& text);
    static bool ToBoolean(const QString& text);
    static QString FromBoolean(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

    static SettingsStore& instance();              // the program's store
    static void setInstance(SettingsStore* store); // tests point it elsewhere

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace lumicade
