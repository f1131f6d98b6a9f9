// "Secure pages", opened from the main window's File menu: the switch for inspecting secure
// pages, a short text on what that means, the pass-through hosts with a field and "&Add" and
// "&Delete", and "Export certificate..." which writes the certificate of the user's authority
// (never its key) to a file chosen in the save dialog, saying in the dialog how that went.
// "&OK" installs the host list (once no connection is active: the in-use question offers Retry
// and Kill Connections, and going back keeps the dialog open with nothing applied), stores the
// switch, marks the configuration changed and, when inspection is on without an authority
// loaded, loads or makes it. "&Cancel" changes nothing. User-interface thread only.
#pragma once

class QWidget;

namespace kw {

// Controls of the template.
inline constexpr int kSecureInspectCheck = 1101;
inline constexpr int kSecureHostList = 1102;
inline constexpr int kSecureHostField = 1103;
inline constexpr int kSecureAddButton = 1104;
inline constexpr int kSecureDeleteButton = 1105;
inline constexpr int kSecureExportButton = 1106;
inline constexpr int kSecureExportResult = 1107;

// Runs the dialog modally, owned by `owner`; 1 after "&OK", 0 after "&Cancel".
int open_secure_pages(QWidget* owner);

}  // namespace kw
