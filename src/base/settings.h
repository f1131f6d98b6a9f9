// The program-wide settings: the flag word every subsystem reads, the listener port, the
// auto-run command line and the five texture paths. The flag word and the port are read by
// connection threads without a lock (relaxed atomics); everything else is touched only by the
// thread that loads and saves configurations. Before any configuration is loaded the flag word
// and the port are 0.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace kw {

// Bits of the settings flag word.
enum SettingsFlag : uint32_t {
  Enable = 1,             // filtering on; cleared by Bypass
  FreezeGIF = 2,
  FilterHTML = 4,
  FilterHeadersOut = 8,
  FilterHeadersIn = 16,
  EnableProxy = 32,
  Changed = 64,           // configuration changed since the last load or save
  PaletteDisplay = 128,
  ForceTextures = 256,
  NoTextures = 512,
  EnableAutoRun = 1024,
  InspectSecure = 2048,   // secure tunnels are opened and filtered with the user's authority
};

// Flag word and port a configuration load starts from.
inline constexpr uint32_t kLoadDefaultFlags =
    Enable | FreezeGIF | FilterHTML | FilterHeadersOut | FilterHeadersIn | EnableProxy;
inline constexpr int kDefaultPort = 8080;

enum TextureIndex { kBackTexture, kInsetTexture, kFace1Texture, kFace2Texture, kButtonTexture,
                    kTextureCount };

struct Settings {
  std::atomic<uint32_t> flags{0};
  std::atomic<int> port{0};
  std::string auto_run;                   // empty: no auto-run command line
  std::string texture_paths[kTextureCount];  // empty: the built-in bitmap
};

Settings& settings();

inline uint32_t settings_flags() { return settings().flags.load(std::memory_order_relaxed); }
inline bool settings_has(uint32_t flags) { return (settings_flags() & flags) == flags; }
inline void settings_set_flags(uint32_t flags) {
  settings().flags.store(flags, std::memory_order_relaxed);
}
inline void settings_add_flags(uint32_t flags) {
  settings().flags.fetch_or(flags, std::memory_order_relaxed);
}
inline void settings_clear_flags(uint32_t flags) {
  settings().flags.fetch_and(~flags, std::memory_order_relaxed);
}
inline void settings_toggle_flags(uint32_t flags) {
  settings().flags.fetch_xor(flags, std::memory_order_relaxed);
}
inline int settings_port() { return settings().port.load(std::memory_order_relaxed); }

}  // namespace kw
