// The program's one main window record.
#include "shell/main_window_record.h"

namespace kw {

MainWindowRecord& main_window_record() {
  static MainWindowRecord record;
  return record;
}

}  // namespace kw
