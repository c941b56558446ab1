// The application icon, drawn by the program in every size it is shown at.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

#include <vector>

// The sizes the icon is drawn in: 16, 24, 32, 48 and 256 pixels.
const std::vector<int>& AppIconSizes();
// One image of the icon (needs no application object).
QImage RenderAppIcon(int size);
// The icon with all its sizes (needs the application object).
QIcon CreateAppIcon();
// Writes the sizes as PNG files in the icon-theme layout under `directory`
// (<n>x<n>/apps/pellaro-update.png). False when a file cannot be written.
bool WriteAppIcons(const QString& directory);
