#include "AppSettings.h"

#include <QString>

uint8_t g_bIsAccessAll = 1;

std::unique_ptr<QSettings> OpenUserSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QString::fromLatin1(kCompanyKey),
                                       QString::fromLatin1(kApplicationName));
}

namespace {

QString EntryKey()
{
    return QStringLiteral("%1/%2").arg(QLatin1String(kSettingsSection), QLatin1String(kIsAccessAllEntry));
}

} // namespace

uint8_t ReadIsAccessAll()
{
    const std::unique_ptr<QSettings> settings = OpenUserSettings();
    const QVariant value = settings->value(EntryKey());
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!value.isValid() || !ok)
        return 1;
    return static_cast<uint8_t>(static_cast<unsigned long long>(number) & 0xFF);
}

bool WriteIsAccessAll(uint8_t value)
{
    const std::unique_ptr<QSettings> settings = OpenUserSettings();
    settings->setValue(EntryKey(), static_cast<int>(value));
    settings->sync();
    return settings->status() == QSettings::NoError;
}
