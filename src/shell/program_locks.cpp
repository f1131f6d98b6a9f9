// Creation of the program-wide locks through their designed lock operations.
#include "shell/program_locks.h"

#include "filters/header_filters.h"
#include "filters/page_filter.h"
#include "report/frontend.h"

namespace kw {

void create_program_locks() {
  web_filter_lock_op(1);
  log_lock_op(1);
  header_filter_lock_op(1);
}

}  // namespace kw
