// The help file "Kestrelwick.hlp" that lives beside the program, read into numbered topics.
//
// The file is text. A line "@topic N title" starts topic N (a positive decimal number) with
// that title; every following line up to the next such line is the topic's HTML. Lines before
// the first topic are a preamble for whoever edits the file and are not shown. A topic header
// whose number is missing or out of range drops its whole section, and of two topics with the
// same number the first one counts, so a damaged file still shows every topic that is intact.
// Topics link to each other with href="topic:N" (the help viewer resolves these).
//
// Plain data, no Qt; the viewer (help_window) shows it. A HelpFile is used by one thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kw {

inline constexpr char kHelpFileName[] = "Kestrelwick.hlp";
// A help file larger than this is not read (it cannot be a help file of this program).
inline constexpr size_t kHelpFileMaxBytes = 8u << 20;

struct HelpTopic {
  int number = 0;
  std::string title;
  std::string html;
};

class HelpFile {
 public:
  // Replaces the topics with those of text. Returns the number of topics read.
  size_t parse(std::string_view text);
  // Reads and parses the file. 1 when it could be read (it may still hold no topics), 0 when
  // it is missing, unreadable or too large; the topics are then empty.
  int load(const std::string& path);

  // The topic with this number, or none.
  const HelpTopic* find(int number) const;
  // Topics in file order.
  const std::vector<HelpTopic>& topics() const { return topics_; }

 private:
  std::vector<HelpTopic> topics_;
};

// The topic the viewer opens for a requested topic number: 0 means the first topic, 1.
inline int help_topic_to_show(int topic) { return topic == 0 ? 1 : topic; }

// Full path of the help file in the program's directory; empty when the program's own path
// cannot be read.
std::string help_file_path();

}  // namespace kw
