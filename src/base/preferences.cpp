// The preferences' fields and the rules that turn them into settings.
#include "base/preferences.h"

#include <algorithm>
#include <cstdint>

namespace kw {

PreferenceFields preference_fields() {
  const uint32_t flags = settings_flags();
  PreferenceFields fields;
  fields.port = std::to_string(static_cast<unsigned>(settings_port()));
  fields.no_textures = (flags & NoTextures) != 0;
  fields.always_use = (flags & ForceTextures) != 0;
  fields.run_at_startup = (flags & EnableAutoRun) != 0;
  fields.program = settings().auto_run;
  return fields;
}

int read_listener_port(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  // Saturates just above the highest port, so that no run of digits wraps into range.
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<uint32_t>(value * 10 + static_cast<uint32_t>(text[i] - '0'), kHighestPort + 1);
  }
  if (value > kHighestPort) return kPortOutOfRange;
  return value < 1 ? kDefaultPort : static_cast<int>(value);
}

std::string command_line_from_field(std::string_view text) {
  text = text.substr(0, kProgramFieldLimit);
  // Only the control characters and the space are dropped: bytes from 0x80 up are letters of
  // a program name in some encoding, not blanks.
  size_t first = 0;
  while (first < text.size() && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  return std::string(text.substr(first));
}

std::string program_field_for(std::string_view path) {
  if (path.find_first_of(" \t") == std::string_view::npos) return std::string(path);
  return "\"" + std::string(path) + "\"";
}

int store_preferences(const PreferenceFields& fields) {
  const int port = read_listener_port(fields.port);
  if (port == kPortOutOfRange) return 0;
  const uint32_t switches = NoTextures | ForceTextures | EnableAutoRun;
  const uint32_t chosen = (fields.no_textures ? NoTextures : 0u) |
                          (fields.always_use ? ForceTextures : 0u) |
                          (fields.run_at_startup ? EnableAutoRun : 0u);
  settings_set_flags((settings_flags() & ~switches) | chosen | Changed);
  // The running listener keeps its port until it is restarted.
  settings().port.store(port);
  if (fields.program_modified) settings().auto_run = command_line_from_field(fields.program);
  return 1;
}

std::string texture_dialog_start(TextureIndex which) {
  const std::string& path = settings().texture_paths[which];
  return path.empty() ? kBuiltinTextureName : path;
}

int apply_texture_choice(TextureIndex which, TextureChoice choice, std::string_view file) {
  if (choice == TextureChoice::Kept) return 0;
  settings().texture_paths[which] = choice == TextureChoice::File ? std::string(file) : "";
  settings_add_flags(Changed);
  return 1;
}

}  // namespace kw
