// What the "Preference Settings" dialog edits, without the dialog: the settings read into the
// texts and marks of its fields, the rules between the fields (which input gives which port,
// when "Run program at startup" can be used, what the program field becomes as a command line)
// and the fields stored back into the settings. Texture choices take effect at once and are
// stored here too; the dialog then reloads the textures. User-interface thread only, like every
// change of the settings other than the flag word.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/settings.h"

namespace kw {

// Longest auto-run command line the program field holds.
inline constexpr size_t kProgramFieldLimit = 1023;
// What read_listener_port gives for a number no listener can be bound to.
inline constexpr int kPortOutOfRange = -1;
inline constexpr int kHighestPort = 65535;
// The texture file dialog's starting name while a texture is the built-in bitmap.
inline constexpr const char* kBuiltinTextureName = "[none]";

struct PreferenceFields {
  std::string port;  // the listener port field
  bool no_textures = false;
  bool always_use = false;  // textures even where they would be replaced by plain colours
  bool run_at_startup = false;
  std::string program;            // the auto-run command line
  bool program_modified = false;  // the user changed the program field
};

// The fields as the settings fill them when the dialog opens.
PreferenceFields preference_fields();

// "Run program at startup" means something only while there is a program to run.
inline bool run_at_startup_enabled(std::string_view program) { return !program.empty(); }

// The port field as a port: the decimal digits after any leading blanks, up to the first other
// character. No digits or 0 give 8080; a number above 65535 gives kPortOutOfRange.
int read_listener_port(std::string_view text);

// The program field as an auto-run command line: cut at kProgramFieldLimit characters, without
// its leading control characters and blanks; empty when nothing remains.
std::string command_line_from_field(std::string_view text);

// What the program field shows for a program picked with "Find": the path, in double quotes
// when it holds blanks, so that the command line names it as one word.
std::string program_field_for(std::string_view path);

// Stores the switches, the port and (only when the user changed the field) the command line,
// and sets Changed: 1. A port out of range stores nothing: 0.
int store_preferences(const PreferenceFields& fields);

// How a texture's file dialog ended.
enum class TextureChoice { Kept, File, Builtin };

// The name the texture's file dialog starts with: its path, or "[none]" for the built-in bitmap.
std::string texture_dialog_start(TextureIndex which);

// Sets the texture's path to the chosen file (or none for the built-in bitmap) and Changed: 1,
// the textures must be reloaded. A dialog that was cancelled changes nothing: 0.
int apply_texture_choice(TextureIndex which, TextureChoice choice, std::string_view file);

}  // namespace kw
