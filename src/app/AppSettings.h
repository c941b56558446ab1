// The one per-user setting of the tool: the last Burn Area choice.
#pragma once

#include <QSettings>

#include <cstdint>
#include <memory>

constexpr char kCompanyKey[] = "Velmor UVC Applications";
constexpr char kApplicationName[] = "pellaro-update";
constexpr char kSettingsSection[] = "Settings";
constexpr char kIsAccessAllEntry[] = "IsAccessAll";

// The Burn Area choice between reading and storing it: 1 "Entire Flash",
// anything else "Other Area".
extern uint8_t g_bIsAccessAll;

// The user's settings file of the tool (~/.config/Velmor UVC Applications/pellaro-update.conf).
std::unique_ptr<QSettings> OpenUserSettings();
// "IsAccessAll" of section "Settings", low byte only; 1 when absent or not a number.
uint8_t ReadIsAccessAll();
// Stores the byte as an integer; false when the store could not be written.
bool WriteIsAccessAll(uint8_t value);
