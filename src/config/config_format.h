// The small rules of the configuration file format that the reader and the writer share: the
// [Global] keys of the flags and textures, key lines, truth values, quoted continuation lines,
// the limits of the record fields, and the form of paths relative to the program directory
// (decimal numbers are read by base/decimal.h). Pure functions on texts; any thread may call
// them.
//
// A line here is one line of the file without its line end (the LF and a CR right before it)
// and cut at its first NUL byte. A blank is a space or a tab; a control character a byte
// below 32; bytes from 128 up are ordinary characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/decimal.h"
#include "base/settings.h"

namespace kw {

// The [Global] flag keys, in the order the writer puts them.
struct FlagKey {
  const char* key;
  uint32_t flag;
};
inline constexpr FlagKey kConfigFlagKeys[] = {
    {"Enable", Enable},
    {"FilterHTML", FilterHTML},
    {"FilterHeadersIn", FilterHeadersIn},
    {"FilterHeadersOut", FilterHeadersOut},
    {"FreezeGIF", FreezeGIF},
    {"EnableProxy", EnableProxy},
    {"EnableAutoRun", EnableAutoRun},
    {"ForceTextures", ForceTextures},
    {"NoTextures", NoTextures},
    {"InspectSecure", InspectSecure},
};
// The [Global] keys of the five texture paths, by TextureIndex.
inline constexpr const char* kTextureKeys[kTextureCount] = {"Back.BMP", "Inset.BMP", "Face1.BMP",
                                                            "Face2.BMP", "Button.BMP"};

// Field limits in characters; longer values are cut to them and the record is kept.
inline constexpr size_t kFilterNameLimit = 83;
inline constexpr size_t kFilterUrlLimit = 1023;
inline constexpr size_t kFilterBoundsLimit = 259;
inline constexpr size_t kFilterTextLimit = 1023;  // Match and Replace of web filters
inline constexpr size_t kHeaderKeyLimit = 131;
inline constexpr size_t kHeaderTextLimit = 1027;    // Match and Replace of header filters
inline constexpr size_t kConfigPathLimit = 1023;    // a texture path after resolving
inline constexpr size_t kAutoRunLimit = 4093;       // what one line piece of 4094 bytes holds
inline constexpr size_t kProxyEntryTextLimit = 79;  // as the selector takes them
inline constexpr size_t kPassThroughHostLimit = 255;  // "*." and the longest host name

inline bool is_config_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_config_control(char c) { return static_cast<unsigned char>(c) < 32; }
// Bytes of value 32 or below: blanks, control characters and line ends.
inline bool is_config_space(char c) { return static_cast<unsigned char>(c) <= 32; }

// The line from its first character that is not a blank.
std::string_view skip_config_blanks(std::string_view line);

// A key line "key = value" of the [Global], [HTTP headers] and [Patterns] sections. The key is
// the run up to the first byte of value 32 or below or the first '=' (it may be empty); blanks
// may stand around the '='. The value loses one opening quote, its trailing bytes of value 32
// or below (never its first character) and then one closing quote. False when the line is not
// a key line (no '=' after the key and its blanks).
struct KeyLine {
  std::string_view key;
  std::string_view value;
};
bool parse_key_line(std::string_view line, KeyLine* out);

// Case-insensitive (ASCII) equality of a key or section name with a known name.
bool config_name_is(std::string_view text, std::string_view name);

// True when the number at the start of the value is 1 or more, or else when the value starts
// with 't', 'T', 'y' or 'Y'.
bool read_config_truth(std::string_view value);

// A continuation line (first non-blank character a double quote): the text between the
// opening quote and one closing quote, without trailing bytes of value 32 or below (never its
// first character). False when the line is not one.
bool parse_continuation_line(std::string_view line, std::string_view* text);

// A path as read from a file: "../" or "..\" at its start stands for `directory` (the program
// directory, ending in '/'); after "..\" the backslashes of the rest become '/'. Cut to
// kConfigPathLimit characters.
std::string resolve_config_path(std::string_view value, std::string_view directory);

// A path as written to a file: when `directory` is at least 4 characters long and the path
// begins with it, "../" followed by the rest; otherwise the path unchanged.
std::string relative_config_path(std::string_view path, std::string_view directory);

// Appends text to value, cutting the result at limit characters.
void append_config_limited(std::string* value, std::string_view text, size_t limit);

}  // namespace kw
