#include "app/store/user_defaults.h"

#include <QDir>
#include <QSettings>

#include <cstdlib>

namespace sorvik::UserDefaults {

namespace {

    /// $XDG_CONFIG_HOME when it is an absolute path (the XDG rules ignore relative values),
    /// else ~/.config.
    QString configHome()
    {
        const char* value = std::getenv("XDG_CONFIG_HOME");
        if (value && *value == '/')
            return QString::fromLocal8Bit(value);
        const char* home = std::getenv("HOME");
        QString homePath = home && *home ? QString::fromLocal8Bit(home) : QDir::homePath();
        return homePath + "/.config";
    }

} // namespace

QString path() { return configHome() + "/sorvik/sorvik.conf"; }

std::optional<bool> boolValue(const QString& key)
{
    auto stored = text(key);
    if (!stored)
        return std::nullopt;
    if (stored->compare("true", Qt::CaseInsensitive) == 0)
        return true;
    if (stored->compare("false", Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

void setBool(const QString& key, bool value) { setText(key, value ? "true" : "false"); }

std::optional<QString> text(const QString& key)
{
    QSettings settings(path(), QSettings::IniFormat);
    QVariant value = settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    // Lists and other structured values written by hand are no text.
    if (!value.canConvert<QString>())
        return QString();
    return value.toString();
}

void setText(const QString& key, const QString& value)
{
    QSettings settings(path(), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
}

} // namespace sorvik::UserDefaults
