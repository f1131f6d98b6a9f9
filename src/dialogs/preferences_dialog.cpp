// The "Preference Settings" dialog: its template and its procedure.
#include "dialogs/preferences_dialog.h"

#include "base/preferences.h"
#include "dialogs/message_dialogs.h"
#include "skin/builtin_art.h"
#include "dialogs/file_dialog.h"
#include "skin/skinned_dialog.h"
#include "skin/textures.h"
#include "ui/dialog.h"
#include "ui/help_request.h"
#include "ui/text.h"

namespace kw {
namespace {

using enum ControlKind;

constexpr uint32_t kTextureField = kCentred | kSunken | kNotify;
constexpr size_t kFileNameBuffer = 1024;
constexpr int kHelpTopic = 74;

const ControlTemplate kPreferencesControls[] = {
    {kPrefsTexturesFrame, Frame, "", 7, 6, 77, 131, kSunken},
    {kPrefsTexturesCaption, Static, "Textures", 8, 7, 76, 9, kCentred},
    {kPrefsNoTexturesCheck, CheckBox, "No Textures", 15, 21, 62, 10},
    {kPrefsAlwaysUseCheck, CheckBox, "Always use", 15, 32, 62, 10},
    {kNoId, EtchedLine, "", 15, 45, 62, 1},
    {kPrefsBackgroundField, Static, "Background", 15, 51, 62, 14, kTextureField},
    {kPrefsInsetField, Static, "Inset", 15, 67, 62, 14, kTextureField},
    {kPrefsFace1Field, Static, "Face One", 15, 83, 62, 14, kTextureField},
    {kPrefsFace2Field, Static, "Face Two", 15, 99, 62, 14, kTextureField},
    {kPrefsButtonsButton, Button, "Buttons", 15, 116, 62, 14, kOwnerDraw},
    {kNoId, Static, "Listener Port", 90, 13, 40, 8},
    {kPrefsPortField, Edit, "", 133, 11, 42, 12, kDigitsOnly},
    // Its own text is blanks: the static laid over it is its label, and clicks on the label
    // reach the box through it.
    {kPrefsRunAtStartupCheck, CheckBox, "                                    ", 90, 26, 88, 14},
    {kNoId, Static, "Run program at startup", 102, 28, 73, 8},
    {kPrefsProgramField, Edit, "", 90, 42, 90, 12, kAutoScroll},
    {kPrefsFindButton, Button, "Find", 182, 42, 20, 13, kOwnerDraw},
    {kNoId, GroupBox, "", 136, 88, 66, 49},
    {kIdOk, Button, "&OK", 144, 98, 50, 14, kOwnerDraw},
    {kIdCancel, Button, "&Cancel", 144, 116, 50, 14, kOwnerDraw},
};
const DialogTemplate kPreferencesTemplate{131, "Preference Settings", 209, 146, 0,
                                          kPreferencesControls};

// The texture each texture choice sets, by control.
TextureIndex chosen_texture(int id) {
  switch (id) {
    case kPrefsBackgroundField:
      return kBackTexture;
    case kPrefsInsetField:
      return kInsetTexture;
    case kPrefsFace1Field:
      return kFace1Texture;
    case kPrefsFace2Field:
      return kFace2Texture;
    case kPrefsButtonsButton:
      return kButtonTexture;
    default:
      return kTextureCount;
  }
}

class PreferencesProc : public SkinnedDialogProc {
 public:
  PreferencesProc() : SkinnedDialogProc(kBackTexture) {}

  void on_init(Dialog& d) override {
    for (int id : {kPrefsBackgroundField, kPrefsInsetField, kPrefsFace1Field, kPrefsFace2Field,
                   kPrefsTexturesFrame, kPrefsTexturesCaption}) {
      d.make_owner_drawn(id);
    }
    const PreferenceFields fields = preference_fields();
    d.set_text(kPrefsPortField, fields.port);
    d.check(kPrefsNoTexturesCheck, fields.no_textures);
    d.check(kPrefsAlwaysUseCheck, fields.always_use);
    d.check(kPrefsRunAtStartupCheck, fields.run_at_startup);
    d.set_limit(kPrefsProgramField, static_cast<int>(kProgramFieldLimit));
    set_program(d, fields.program);
    d.set_modified(kPrefsProgramField, false);
    follow_program_field(d);
  }

  void on_command(Dialog& d, int id, int code) override {
    if (code == kClicked) {
      switch (id) {
        case kPrefsNoTexturesCheck:
          d.check(kPrefsAlwaysUseCheck, false);
          return;
        case kPrefsAlwaysUseCheck:
          d.check(kPrefsNoTexturesCheck, false);
          return;
        case kPrefsFindButton:
          find_program(d);
          return;
        case kIdOk:
          store(d);
          return;
        case kIdCancel:
          d.end(kIdCancel);
          return;
        default:
          if (chosen_texture(id) != kTextureCount) {
            choose_texture(d, chosen_texture(id));
            return;
          }
      }
    }
    follow_program_field(d);
  }

  void on_help(Dialog&) override { request_help(kHelpTopic); }

 protected:
  TextureIndex text_texture(Dialog&, int id) override {
    switch (id) {
      case kPrefsFace1Field:
      case kPrefsNoTexturesCheck:
      case kPrefsAlwaysUseCheck:
      case kPrefsTexturesFrame:
        return kFace1Texture;
      case kPrefsFace2Field:
        return kFace2Texture;
      case kPrefsTexturesCaption:
      case kPrefsInsetField:
        return kInsetTexture;
      default:
        return kBackTexture;
    }
  }

  // Each texture field (and the frame around them, in Face One) previews its texture from the
  // texture's top-left corner; the caption continues the Inset texture across the dialog.
  const QPixmap* owner_draw_texture(Dialog&, int id) override {
    if (id == kPrefsTexturesFrame) return &texture(kFace1Texture);
    if (id == kPrefsTexturesCaption) return &texture(kInsetTexture);
    const TextureIndex which = chosen_texture(id);
    return &texture(which == kTextureCount ? kBackTexture : which);
  }

  Anchor owner_draw_anchor(Dialog& d, int id) override {
    if (id == kPrefsTexturesFrame || chosen_texture(id) != kTextureCount) return kAnchorSelf;
    return anchor_to(d.client_area());
  }

 private:
  // The program field holds a path as the file system names it.
  static std::string program(Dialog& d) {
    Control* c = d.control(kPrefsProgramField);
    return c ? to_path(c->text()) : std::string();
  }

  static void set_program(Dialog& d, const std::string& text) {
    if (Control* c = d.control(kPrefsProgramField)) c->set_text(from_path(text));
  }

  static void follow_program_field(Dialog& d) {
    d.enable(kPrefsRunAtStartupCheck, run_at_startup_enabled(program(d)));
  }

  void find_program(Dialog& d) {
    FileRequest request;
    request.title = "Choose a program to run automatically";
    request.filters = {{"Program Files", "*.*"}};
    request.programs_only = true;
    request.file = program(d);
    request.buffer_size = kFileNameBuffer;
    if (!run_file_dialog(&d, request)) return;
    set_program(d, program_field_for(request.file));
    d.set_modified(kPrefsProgramField, true);
  }

  void choose_texture(Dialog& d, TextureIndex which) {
    FileRequest request;
    request.title = "Load a new texture bitmap";
    request.filters = {{"Bitmap Files", "*.bmp"}};
    request.default_extension = "bmp";
    request.file = texture_dialog_start(which);
    request.buffer_size = kFileNameBuffer;
    request.default_strip = true;
    const bool chosen = run_file_dialog(&d, request) == 1;
    const TextureChoice choice = chosen ? TextureChoice::File
                                 : request.custom_data == kDefaultBitmapMark
                                     ? TextureChoice::Builtin
                                     : TextureChoice::Kept;
    if (!apply_texture_choice(which, choice, request.file)) return;
    load_textures();  // repaints every window, this dialog too
  }

  void store(Dialog& d) {
    PreferenceFields fields;
    fields.port = d.text(kPrefsPortField);
    fields.no_textures = d.is_checked(kPrefsNoTexturesCheck);
    fields.always_use = d.is_checked(kPrefsAlwaysUseCheck);
    fields.run_at_startup = d.is_checked(kPrefsRunAtStartupCheck);
    fields.program = program(d);
    fields.program_modified = d.is_modified(kPrefsProgramField);
    if (!store_preferences(fields)) {
      // A listener cannot be bound to it: say so and let the user mend what was typed.
      show_message(&d, "The Listener Port must be a number from 1 to 65535.", "Listener Port",
                   kMessageIcon);
      d.focus(kPrefsPortField);
      return;
    }
    d.end(kIdOk);
  }
};

}  // namespace

int open_preferences(QWidget* owner) {
  PreferencesProc proc;
  run_dialog(kPreferencesTemplate, proc, owner);
  return 1;
}

}  // namespace kw
