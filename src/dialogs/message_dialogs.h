// The five small skinned dialogs that share one procedure: the About box, the general message
// box, "Active Connections - Can't load configuration", "Filters In Use!" and "Save
// Configuration Changes"; plus the application error box built on the message box. Each runs
// modally and returns which button ended it: 1, 2 or 3 from its own buttons, what the handler
// returned for "&Retry" and "&Kill Connections", or 0 when it was closed without a choice.
// Escape ends none of them. User-interface thread only.
#pragma once

#include <functional>

class QWidget;

namespace kw {

class Dialog;

// Decides what a button without a fixed result does: the control's id in, the dialog's result
// out; 0 keeps the dialog open.
using ButtonHandler = std::function<int(int control)>;

// The record of one run, made zeroed by the opener.
struct MessageDialogData {
  Dialog* window = nullptr;
  int icon = 0;  // resource id; above 32512 a system icon
  int result = 0;
  const char* text = nullptr;
  const char* caption = nullptr;
  ButtonHandler handler;
};

// Results.
inline constexpr int kClosedWithoutChoice = 0;
inline constexpr int kSaveChanges = 1;
inline constexpr int kForgetChanges = 2;
inline constexpr int kDontQuit = 3;
inline constexpr int kGoBack = 1;
// What the retry handlers return once the resource is free (its lock is then held).
inline constexpr int kResourceFree = 2;

// Controls of the templates.
inline constexpr int kMessageOk = 1074;  // "OK", "&Ok", "&Go Back", "&Save Changes"
inline constexpr int kForgetButton = 1075;
inline constexpr int kDontQuitButton = 3;
inline constexpr int kRetryButton = 1079;
inline constexpr int kKillButton = 1080;
inline constexpr int kMessageText = 1081;
inline constexpr int kMessageIconControl = 1076;

int show_about(QWidget* owner);
// The template's title "Title" is replaced by the caption; the text goes into the message.
int show_message(QWidget* owner, const char* text, const char* caption, int icon);
// The two in-use questions call their handler with kAnswerRetry or kAnswerKillConnections.
int ask_active_connections(QWidget* owner, ButtonHandler handler);
int ask_filters_in_use(QWidget* owner, ButtonHandler handler);
int ask_save_changes(QWidget* owner);
// "Kestrelwick Application Error" with the exclamation icon, application-modal and raised.
void show_application_error_box(QWidget* owner, const char* text);

}  // namespace kw
