// "Preference Settings" (template 131), opened by the main window's "&Config": the listener
// port, the program started with the proxy, and the five texture bitmaps with the switches
// "No Textures" and "Always use". Each texture field previews its own texture; choosing a
// texture (through the file dialog with the "Default" strip) takes effect at once and marks the
// configuration changed, so "&Cancel" keeps it. "&OK" stores the port, the switches and the
// command line (preferences.h holds those rules). User-interface thread only.
#pragma once

class QWidget;

namespace kw {

// Controls of template 131.
inline constexpr int kPrefsBackgroundField = 1064;
inline constexpr int kPrefsInsetField = 1073;
inline constexpr int kPrefsFace1Field = 1065;
inline constexpr int kPrefsFace2Field = 1066;
inline constexpr int kPrefsButtonsButton = 1067;
inline constexpr int kPrefsTexturesFrame = 1077;
inline constexpr int kPrefsTexturesCaption = 1071;
inline constexpr int kPrefsNoTexturesCheck = 1069;
inline constexpr int kPrefsAlwaysUseCheck = 1070;
inline constexpr int kPrefsPortField = 1068;
inline constexpr int kPrefsRunAtStartupCheck = 1084;
inline constexpr int kPrefsProgramField = 1083;
inline constexpr int kPrefsFindButton = 1034;

// Runs the dialog modally, owned by `owner`; always 1.
int open_preferences(QWidget* owner);

}  // namespace kw
