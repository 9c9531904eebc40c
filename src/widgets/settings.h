#pragma once

#include <QSettings>

#include <memory>

// What the program remembers for its user between runs (the window's place,
// the widths dragged in the grids): an INI file in the user's configuration
// folder.
inline std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Rondella"), QStringLiteral("Rondella"));
}
