// The configuration commands: which file each one reads or writes, the last configuration
// file they share, and the status texts and boxes they report with.
#include "config/config_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/settings.h"
#include "config/config_writer.h"
#include "config_state.h"
#include "engine/listener.h"
#include "filters/web_filter.h"
#include "proxies/proxy_list.h"
#include "support/child_record.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

// A status text as "text (colour)".
std::string shown(const std::string& text, Rgb colour) {
  return text + (colour == kCyan ? " (cyan)" : colour == kRed ? " (red)" : " (other)");
}

class ConfigCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    test::reset_configuration();
    test::write_file(a_, "[Global]\nPort = 1001\n[Patterns]\nName = from a\nMatch = a\n");
    test::write_file(b_, "[Global]\nPort = 1002\n");
  }
  void TearDown() override { test::reset_configuration(); }

  // The command results among the status texts (the connection count shows up as well).
  std::vector<std::string> statuses() const {
    std::vector<std::string> texts;
    for (const auto& s : frontend_.statuses()) {
      if (s.text.rfind("--- ", 0) == 0) texts.push_back(shown(s.text, s.colour));
    }
    return texts;
  }

  test::RecordingFrontend frontend_;
  test::ScratchDir dir_;
  const std::string a_ = dir_.file("a.cfg");
  const std::string b_ = dir_.file("b.cfg");
};

TEST_F(ConfigCommands, AFailedFirstLoadShowsTheBoxAndLeavesNoLastFile) {
  EXPECT_EQ(startup_load(dir_.file("missing.cfg").c_str()), 0);
  EXPECT_EQ(frontend_.errors(), std::vector<std::string>{"Error Loading Default Configuration!"});
  EXPECT_TRUE(frontend_.has_line("RCan't read configuration file " + dir_.file("missing.cfg") +
                                 ": No such file or directory"));
  EXPECT_EQ(frontend_.textures_reloaded(), 1);
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags);
  EXPECT_EQ(settings_port(), kDefaultPort);
  EXPECT_FALSE(last_config_file_made());
  EXPECT_EQ(save_last_config(), 0);
  EXPECT_EQ(reload_last_config(), 0);
  EXPECT_TRUE(statuses().empty());

  // Once textures exist a failed load is only a status text.
  EXPECT_EQ(startup_load(dir_.file("missing.cfg").c_str()), 0);
  EXPECT_EQ(frontend_.errors().size(), 1u);
  EXPECT_EQ(statuses(),
            std::vector<std::string>{shown("--- Error Loading Config File! ---", kRed)});
}

TEST_F(ConfigCommands, TheFirstLoadNamesTheLastFileAndLaterDefaultLoadsDoNot) {
  ASSERT_EQ(startup_load(a_.c_str()), 1);
  EXPECT_EQ(frontend_.textures_reloaded(), 1);
  EXPECT_STREQ(last_config_file(), a_.c_str());
  EXPECT_TRUE(statuses().empty());

  ASSERT_EQ(startup_load(b_.c_str()), 1);
  EXPECT_STREQ(last_config_file(), a_.c_str());
  EXPECT_EQ(settings_port(), 1002);

  // Save Last Config writes to the file named at start, not to default.cfg.
  settings_add_flags(Changed);
  ASSERT_EQ(save_last_config(), 1);
  EXPECT_FALSE(settings_has(Changed));
  EXPECT_EQ(test::read_file(a_), config_file_text());
  ASSERT_EQ(reload_last_config(), 1);
  EXPECT_EQ(settings_port(), 1002);
  EXPECT_EQ(statuses(), (std::vector<std::string>{shown("--- Changes Saved ---", kCyan),
                                                  shown("--- Config Reloaded ---", kCyan)}));
}

TEST_F(ConfigCommands, LoadDialogOutcomes) {
  ASSERT_EQ(startup_load(a_.c_str()), 1);
  EXPECT_EQ(load_chosen_config(nullptr), 1);
  EXPECT_EQ(settings_port(), 1001);
  EXPECT_STREQ(last_config_file(), a_.c_str());

  EXPECT_EQ(load_chosen_config(b_.c_str()), 1);
  EXPECT_EQ(settings_port(), 1002);
  EXPECT_STREQ(last_config_file(), b_.c_str());

  const std::string missing = dir_.file("missing.cfg");
  EXPECT_EQ(load_chosen_config(missing.c_str()), 0);
  EXPECT_STREQ(last_config_file(), missing.c_str());

  EXPECT_EQ(statuses(),
            (std::vector<std::string>{shown("--- Load Canceled ---", kCyan),
                                      shown("--- New Config File Loaded ---", kCyan),
                                      shown("--- Error Loading Config File! ---", kRed)}));
}

TEST_F(ConfigCommands, GoingBackFromTheLoadDialogStillNamesTheChosenFile) {
  adjust_active_connections(1);  // a connection holds the lists
  frontend_.script_answers(std::vector<int>{kAskGoBack});
  const int result = load_chosen_config(b_.c_str());
  adjust_active_connections(-1);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(frontend_.questions_asked(), 1);
  EXPECT_EQ(settings_port(), 0);
  EXPECT_STREQ(last_config_file(), b_.c_str());
  ASSERT_FALSE(statuses().empty());
  EXPECT_EQ(statuses().back(), shown("--- Error Loading Config File! ---", kRed));
}

// A cancelled first dialog makes an empty last file; the last-file commands then fail
// silently, as they do on a file that cannot be opened.
TEST_F(ConfigCommands, SaveDialogOutcomes) {
  EXPECT_EQ(save_chosen_config(nullptr), 1);
  EXPECT_TRUE(last_config_file_made());
  EXPECT_STREQ(last_config_file(), "");
  for (const std::string& name : {std::string(), dir_.file("gone/x.cfg")}) {
    set_last_config_file(name.c_str());
    EXPECT_EQ(save_last_config(), 0);
    EXPECT_EQ(reload_last_config(), 0);
  }
  settings().port.store(777);
  const std::string chosen = dir_.file("saved.cfg");
  EXPECT_EQ(save_chosen_config(chosen.c_str()), 1);
  EXPECT_EQ(test::read_file(chosen), config_file_text());
  EXPECT_STREQ(last_config_file(), chosen.c_str());
  EXPECT_EQ(save_chosen_config(dir_.file("gone/x.cfg").c_str()), 0);
  EXPECT_EQ(statuses(),
            (std::vector<std::string>{shown("--- Save Canceled ---", kCyan),
                                      shown("--- Config File Saved ---", kCyan),
                                      shown("--- Error Saving Config File! ---", kRed)}));
}

TEST_F(ConfigCommands, FreeConfigLeavesTheFiltersToRunningConnections) {
  ASSERT_EQ(startup_load(a_.c_str()), 1);
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
