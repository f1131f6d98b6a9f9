#include "base/settings.h"

namespace kw {

Settings& settings() {
  static Settings s;
  return s;
}

}  // namespace kw
