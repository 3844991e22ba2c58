#include "SettingsStore.h"

#include "VbError.h"

#include <QSettings>
#include <QStringList>
#include <cmath>
#include <limits>
#include <optional>

namespace lumicade {

namespace {

const QString kSection = QStringLiteral("Lumicade");

SettingsStore* g_instance = nullptr;

// Numeric text as the platform's conversions read it: blanks around it,
// an optional sign, digits with an optional fraction and exponent, or the
// &H / &O forms for hexadecimal and octal whole numbers.
std::optional<double> parseNumber(const QString& raw)
{
    const QString text = raw.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (text.startsWith(QLatin1Char('&')) && text.size() > 2) {
        const QChar kind = text.at(1).toUpper();
        const int base = kind == QLatin1Char('H') ? 16 : kind == QLatin1Char('O') ? 8 : 0;
        if (base == 0)
            return std::nullopt;
        bool ok = false;
        const qulonglong value = text.mid(2).toULongLong(&ok, base);
        if (!ok || value > 0xFFFFFFFFull)
            return std::nullopt;
        // Like the platform, &H and &O texts are 32-bit patterns: &HFFFFFFFF is -1.
        if (value > 0x7FFFFFFFull)
            return static_cast<double>(static_cast<qint32>(static_cast<quint32>(value)));
        return static_cast<double>(value);
    }
    // Only plain decimal forms; QString::toDouble would also take "inf" and "nan".
    for (const QChar c : text) {
        if (!(c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.')
              || c == QLatin1Char('e') || c == QLatin1Char('E')))
            return std::nullopt;
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QStringLiteral("Tessivar"), QStringLiteral("Tessivar")))
{
}

SettingsStore::SettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::GetSetting(const QString& key, const QString& defaultValue) const
{
    // A store that cannot be read holds nothing: every setting reads as absent.
    const QVariant value = settings_->value(kSection + QLatin1Char('/') + key);
    if (!value.isValid())
        return defaultValue;
    // A hand-edited file may hold an unquoted text with commas, which the
    // file format reads as a list; give it back as the one text it was.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SettingsStore::SaveSetting(const QString& key, const QString& value)
{
    settings_->setValue(kSection + QLatin1Char('/') + key, value);
    // Written at once, so a second copy of the program (or the next start
    // after a crash) sees the value.
    settings_->sync();
    // A value that did not reach the store is a failure of the caller's
    // statement, not something to pass over in silence.
    if (settings_->status() == QSettings::AccessError)
        throw VbError::make(ErrNo::PermissionDenied);
}

int SettingsStore::ToWholeNumber(const QString& text)
{
    const std::optional<double> number = parseNumber(text);
    if (!number)
        throw VbError::make(ErrNo::TypeMismatch);
    // Halves go to the even neighbour, as the platform rounds.
    const double rounded = std::nearbyint(*number);
    if (rounded < static_cast<double>(std::numeric_limits<int>::min())
        || rounded > static_cast<double>(std::numeric_limits<int>::max()))
        throw VbError::make(ErrNo::Overflow);
    return static_cast<int>(rounded);
}

bool SettingsStore::ToBoolean(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const std::optional<double> number = parseNumber(trimmed);
    if (!number)
        throw VbError::make(ErrNo::TypeMismatch);
    return *number != 0.0;
}

SettingsStore& SettingsStore::instance()
{
    if (g_instance)
        return *g_instance;
    static SettingsStore userStore;
    return userStore;
}

void SettingsStore::setInstance(SettingsStore* store)
{
    g_instance = store;
}

}  // namespace lumicade
