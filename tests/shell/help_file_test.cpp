// The help file reader must keep every intact topic of a damaged file, and the help file that
// ships beside the program must hold every topic the program opens, with working links.
#include "shell/help_file.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "support/child_record.h"

namespace kw {
namespace {

struct Expected {
  int number;
  std::string title;
  std::string html;
};

void expect_topics(const HelpFile& file, const std::vector<Expected>& expected) {
  ASSERT_EQ(file.topics().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(file.topics()[i].number, expected[i].number) << i;
    EXPECT_EQ(file.topics()[i].title, expected[i].title) << i;
    EXPECT_EQ(file.topics()[i].html, expected[i].html) << i;
  }
}

TEST(HelpFileParse, TopicsHeadersAndBodies) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<Expected> topics;
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
    expect_topics(file, c.topics);
  }
}

TEST(HelpFileLoad, MissingFileReadsNothing) {
  test::ScratchDir dir;
  HelpFile file;
  file.parse("@topic 1 Old\nold\n");
  EXPECT_EQ(file.load(dir.file("Kestrelwick.hlp")), 0);
  EXPECT_TRUE(file.topics().empty());
  EXPECT_EQ(file.find(1), nullptr);
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
  std::set<int> linked;
  std::regex link("<a href=\"topic:([0-9]+)(#[A-Za-z0-9_-]+)?\"");
  std::regex local_link("<a href=\"#([A-Za-z0-9_-]+)\"");
  std::regex outside_link("<a\\s+href=\"(?!topic:|#)");
  for (const HelpTopic& t : file.topics()) {
    for (std::sregex_iterator m(t.html.begin(), t.html.end(), link), end; m != end; ++m) {
      int target = std::stoi((*m)[1]);
      linked.insert(target);
      EXPECT_NE(file.find(target), nullptr) << "topic " << t.number << " links to " << target;
      if ((*m)[2].matched) {
        std::string anchor = (*m)[2].str().substr(1);
        EXPECT_NE(file.find(target)->html.find("name=\"" + anchor + "\""), std::string::npos)
            << "topic " << t.number << " links to a missing anchor " << anchor;
      }
    }
    for (std::sregex_iterator m(t.html.begin(), t.html.end(), local_link), end; m != end; ++m) {
      EXPECT_NE(t.html.find("name=\"" + (*m)[1].str() + "\""), std::string::npos)
          << "topic " << t.number << " links to a missing anchor " << (*m)[1];
    }
    EXPECT_FALSE(std::regex_search(t.html, outside_link))
        << "topic " << t.number << " links outside the help";
  }
  for (const HelpTopic& t : file.topics()) {
    if (t.number != 1) {
      EXPECT_TRUE(linked.count(t.number)) << "no link leads to " << t.number;
    }
  }
}

}  // namespace
}  // namespace kw
