// The configuration commands: which file each one reads or writes, the last configuration
// file they share, and the status texts and boxes they report with.
#include "config/config_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config_state.h"
#include "engine/listener.h"
#include "support/child_record.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

class ConfigCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    test::reset_configuration();
    test::write_file(a_, "[Global]\nPort = 1001\n[Patterns]\nName = from a\nMatch = a\n");
    test::write_file(b_, "[Global]\nPort = 1002\n");
  }
  void TearDown() override { test::reset_configuration(); }

  // The command results shown since the last call, as "text (colour)" run together (the
  // connection count shows up among the status texts as well).
  std::string new_statuses() {
    const std::vector<test::RecordingFrontend::Status> all = frontend_.statuses();
    std::string texts;
    for (auto s = all.begin() + seen_; s != all.end(); ++s) {
      if (s->text.rfind("--- ", 0) != 0) continue;
      texts += s->text + (s->colour == kCyan ? " (cyan)" : s->colour == kRed ? " (red)" : "");
    }
    seen_ = all.size();
    return texts;
  }

  test::RecordingFrontend frontend_;
  test::ScratchDir dir_;
  const std::string a_ = dir_.file("a.cfg");
  const std::string b_ = dir_.file("b.cfg");
  size_t seen_ = 0;
};

// The commands in turn, from process start. A failed first load shows the box and makes no
// last file; a cancelled first dialog makes an empty one. The last-file commands fail silently
// without a last file or on one that cannot be opened.
TEST_F(ConfigCommands, EachCommandUsesItsFileAndReports) {
  const std::string missing = dir_.file("missing.cfg"), saved = dir_.file("saved.cfg"),
                    gone = dir_.file("gone/x.cfg");
  const auto no_arg = [](int (*command)()) { return [command](const char*) { return command(); }; };
  const auto save_last = no_arg(save_last_config), reload_last = no_arg(reload_last_config);
  struct Step {
    const char* what;
    std::function<int(const char*)> run;
    const char* path;  // nullptr: the dialog was cancelled
    int result;
    const char* status;  // "": none
    const char* last;    // nullptr: not made
    int port = kDefaultPort;
  } steps[] = {
      {"a failed first load",
       [&](const char* path) {
         const int result = startup_load(path);
         EXPECT_TRUE(frontend_.has_line("RCan't read configuration file " + missing +
                                        ": No such file or directory"));
         EXPECT_EQ(frontend_.textures_reloaded(), 1);
         EXPECT_EQ(settings_flags(), kLoadDefaultFlags);
         return result;
       },
       missing.c_str(), 0, "", nullptr},
      {"save last without a last file", save_last, nullptr, 0, "", nullptr},
      {"reload last without a last file", reload_last, nullptr, 0, "", nullptr},
      {"once textures exist a failed load is only a status text", startup_load, missing.c_str(), 0,
       "--- Error Loading Config File! --- (red)", nullptr},
      {"the first load names the last file", startup_load, a_.c_str(), 1, "", a_.c_str(), 1001},
      {"later default loads do not", startup_load, b_.c_str(), 1, "", a_.c_str(), 1002},
      {"reload reads the last file", reload_last, nullptr, 1, "--- Config Reloaded --- (cyan)",
       a_.c_str(), 1001},
      {"going back (unscripted) from the load dialog while a connection holds the lists still "
       "names the file",
       [&](const char* path) {
         adjust_active_connections(1);
         const int result = load_chosen_config(path);
         adjust_active_connections(-1);
         EXPECT_EQ(frontend_.questions_asked(), 1);
         return result;
       },
       b_.c_str(), 0, "--- Error Loading Config File! --- (red)", b_.c_str(), 1001},
      {"load dialog cancelled", load_chosen_config, nullptr, 1, "--- Load Canceled --- (cyan)",
       b_.c_str(), 1001},
      {"load dialog", load_chosen_config, b_.c_str(), 1, "--- New Config File Loaded --- (cyan)",
       b_.c_str(), 1002},
      {"save last writes the last file", save_last, nullptr, 1, "--- Changes Saved --- (cyan)",
       b_.c_str(), 1002},
      {"a chosen file that cannot be loaded is still the last file", load_chosen_config,
       missing.c_str(), 0, "--- Error Loading Config File! --- (red)", missing.c_str()},
      {"save dialog", save_chosen_config, saved.c_str(), 1, "--- Config File Saved --- (cyan)",
       saved.c_str()},
      {"save dialog on a file that cannot be made", save_chosen_config, gone.c_str(), 0,
       "--- Error Saving Config File! --- (red)", gone.c_str()},
      {"save last on it", save_last, nullptr, 0, "", gone.c_str()},
      {"reload last on it", reload_last, nullptr, 0, "", gone.c_str()},
      {"a cancelled first save dialog",
       [](const char* path) {
         forget_last_config_file();
         return save_chosen_config(path);
       },
       nullptr, 1, "--- Save Canceled --- (cyan)", ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    settings_add_flags(Changed);
    EXPECT_EQ(step.run(step.path), step.result);
    EXPECT_EQ(last_config_file_made(), step.last != nullptr);
    EXPECT_STREQ(last_config_file(), step.last ? step.last : "");
    EXPECT_EQ(settings_port(), step.port);
    EXPECT_EQ(new_statuses(), step.status);
    // A save that worked wrote the configuration and took the change mark away.
    if (std::string(step.status).find("Saved") != std::string::npos) {
      EXPECT_EQ(test::read_file(step.last), config_file_text());
      EXPECT_FALSE(settings_has(Changed));
    }
  }
  // The failed first load's box is the only one.
  EXPECT_EQ(frontend_.errors(), std::vector<std::string>{"Error Loading Default Configuration!"});
}

// A plain load: a start-up load here would mark the process's textures loaded, and the case
// above, run later in the same process, would find its first load was not the first.
TEST_F(ConfigCommands, FreeConfigLeavesTheFiltersToRunningConnections) {
  ASSERT_EQ(load_config(a_.c_str()), 1);
  parse_proxy_entry(nullptr, "p:1");
  settings().auto_run = "prog";
  adjust_active_connections(1);
  EXPECT_EQ(free_config(), 0);
  adjust_active_connections(-1);
  EXPECT_NE(web_filter_list, nullptr);
  EXPECT_EQ(proxy_list, nullptr);
  EXPECT_EQ(retired_proxy_count(), 1);
  EXPECT_EQ(settings().auto_run, "");

  EXPECT_EQ(free_config(), 1);
  EXPECT_EQ(web_filter_list, nullptr);
  EXPECT_EQ(retired_proxy_count(), 0);
}

}  // namespace
}  // namespace kw
