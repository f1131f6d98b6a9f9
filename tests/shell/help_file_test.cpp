// The help file reader must keep every intact topic of a damaged file, and the help file that
// ships beside the program must hold every topic the program opens, with working links.
#include "shell/help_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <tuple>

#include "support/child_record.h"

namespace kw {
namespace {

using Topic = std::tuple<int, std::string, std::string>;  // number, title, HTML

std::vector<Topic> topics_of(const HelpFile& file) {
  std::vector<Topic> topics;
  for (const HelpTopic& t : file.topics()) topics.emplace_back(t.number, t.title, t.html);
  return topics;
}

TEST(HelpFileParse, TopicsHeadersAndBodies) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<Topic> topics;
  };
  const Case cases[] = {
      {"empty", "", {}},
      {"preamble only", "notes for editors\n@topical remark\n", {}},
      {"two topics, preamble skipped",
       "edit me\n@topic 1 Overview\n<p>a</p>\n@topic 11  The main window \n<p>b</p>\n",
       {{1, "Overview", "<p>a</p>\n"}, {11, "The main window", "<p>b</p>\n"}}},
      {"CR LF line ends and a last line without end",
       "@topic 2\tTabbed\r\n<p>x</p>\r\n<p>y</p>",
       {{2, "Tabbed", "<p>x</p>\n<p>y</p>\n"}}},
      {"a header only at the start of a line",
       "@topic 3 T\n @topic 4 U\n",
       {{3, "T", " @topic 4 U\n"}}},
      {"bad numbers drop their sections",
       "@topic\nlost\n@topic 0 Zero\nlost\n@topic 12abc X\nlost\n@topic 99999999999 Big\n"
       "lost\n@topic -5 Neg\nlost\n@topic 5 Kept\nkept\n",
       {{5, "Kept", "kept\n"}}},
      {"the first of two equal numbers counts",
       "@topic 7 First\none\n@topic 7 Second\ntwo\n",
       {{7, "First", "one\n"}}},
      {"no title", "@topic 8\nbody\n", {{8, "", "body\n"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HelpFile file;
    EXPECT_EQ(file.parse(c.text), c.topics.size());
    EXPECT_EQ(topics_of(file), c.topics);
  }
  // A file that cannot be read leaves no topics behind.
  test::ScratchDir dir;
  HelpFile file;
  file.parse("@topic 1 Old\nold\n");
  EXPECT_EQ(file.load(dir.file("Kestrelwick.hlp")), 0);
  EXPECT_TRUE(file.topics().empty());
}

TEST(ShippedHelpFile, HoldsEveryTopicTheProgramOpensAndLinksResolve) {
  HelpFile file;
  ASSERT_EQ(file.load(help_file_path()), 1) << help_file_path();
  for (int topic : {1, 11, 29, 30, 31, 51, 63, 74, 81}) {
    const HelpTopic* t = file.find(topic);
    ASSERT_NE(t, nullptr) << "topic " << topic;
    EXPECT_FALSE(t->title.empty()) << topic;
    EXPECT_GT(t->html.size(), 500u) << topic;
  }
  // Every link is "topic:N", "topic:N#anchor" or "#anchor", its target exists, and every topic
  // but the first is linked to.
  std::set<int> linked;
  for (const HelpTopic& t : file.topics()) {
    const std::string mark = "<a href=\"";
    for (size_t at = t.html.find(mark); at != std::string::npos; at = t.html.find(mark, at + 1)) {
      const size_t start = at + mark.size();
      const std::string href = t.html.substr(start, t.html.find('"', start) - start);
      SCOPED_TRACE("topic " + std::to_string(t.number) + " links to " + href);
      const bool other = href.rfind("topic:", 0) == 0;
      ASSERT_TRUE(other || href[0] == '#') << "the help links only to itself";
      const int number = other ? std::atoi(href.c_str() + 6) : t.number;
      if (other) linked.insert(number);
      const HelpTopic* target = file.find(number);
      ASSERT_NE(target, nullptr);
      const size_t hash = href.find('#');
      const std::string anchor = "<a name=\"" + href.substr(hash + 1) + "\">";
      if (hash != std::string::npos) EXPECT_NE(target->html.find(anchor), std::string::npos);
    }
  }
  for (const HelpTopic& t : file.topics())
    EXPECT_TRUE(t.number == 1 || linked.count(t.number)) << "no link leads to " << t.number;
}

}  // namespace
}  // namespace kw
