// Which log lines name a connection, what finding matches, and where stepping goes at the ends.
#include "shell/log_find.h"

#include <gtest/gtest.h>

namespace kw {
namespace {

TEST(LogFind, ConnectionsNamedByLines) {
  const struct {
    const char* line;
    int connection;
    bool hit;  // a filter hit of that connection
  } cases[] = {
      {"VMatch 12: Banner ads", 12, true},
      {"V<start> 3: Top", 3, true},
      {"V<end> 40: 12: odd name", 40, true},
      {"W+++GET 7+++", 7, false},
      {"W+++CLOSE 7+++ 10 bytes to the site, 20 bytes to the browser", 7, false},
      {"R** 9 Socket Error 104 for example.com **", 9, false},
      {"GGET http://example.com/12: HTTP/1.1", -1, false},
      {"VMatch x: name", -1, false},
      {"W+++GET 7", -1, false},
      {"", -1, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(log_line_connection(c.line), c.connection) << c.line;
    EXPECT_EQ(is_filter_hit_of(c.line, c.connection), c.hit) << c.line;
  }
  EXPECT_FALSE(is_filter_hit_of("VMatch 12: x", 1));
}

TEST(LogFind, TextIgnoresCaseAndTheCategoryCharacter) {
  EXPECT_TRUE(log_line_holds("VMatch 1: Banner", "banNER"));
  EXPECT_FALSE(log_line_holds("VMatch 1: Banner", "VMatch"));
  EXPECT_FALSE(log_line_holds("VMatch 1: Banner", ""));
}

TEST(LogFind, SteppingWrapsAtBothEnds) {
  const std::vector<int> rows = {2, 5, 9};
  const struct {
    int from;
    bool forward;
    int to;
  } cases[] = {{-1, true, 2}, {2, true, 5},  {9, true, 2},  {12, true, 2}, {-1, false, 9},
               {2, false, 9}, {5, false, 2}, {7, false, 5}, {0, false, 9}};
  for (const auto& c : cases) {
    EXPECT_EQ(step_to_match(rows, c.from, c.forward), c.to) << c.from << " " << c.forward;
  }
  EXPECT_EQ(step_to_match({}, 3, true), -1);
}

}  // namespace
}  // namespace kw
