// See realistic_page.h. The page is a sequence of blocks chosen by a small fixed random
// generator; the filters match a few percent of the markup, like a real ad and script filter.
#include "realistic_page.h"

#include <string>

namespace kw::bench {
namespace {

class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint32_t next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }

 private:
  uint32_t state_;
};

const char* const kWords[] = {
    "the",     "of",      "and",     "to",       "in",      "a",        "is",     "that",
    "for",     "it",      "as",      "was",      "with",    "be",       "by",     "on",
    "not",     "he",      "this",    "are",      "or",      "his",      "from",   "at",
    "which",   "but",     "have",    "an",       "had",     "they",     "you",    "were",
    "their",   "one",     "all",     "we",       "can",     "her",      "has",    "there",
    "been",    "if",      "more",    "when",     "will",    "would",    "who",    "so",
    "council", "weather", "market",  "election", "morning", "football", "report", "city",
    "people",  "school",  "river",   "company",  "police",  "minister", "water",  "price",
    "casino",  "train",   "village", "season",   "lottery", "museum",   "poker",  "garden"};
constexpr int kWordCount = sizeof kWords / sizeof kWords[0];

void sentence(Random& r, std::string& out) {
  const int words = 6 + r.below(14);
  for (int i = 0; i < words; ++i) {
    const char* w = kWords[r.below(kWordCount)];
    if (i == 0) {
      out += static_cast<char>(w[0] >= 'a' && w[0] <= 'z' ? w[0] - 32 : w[0]);
      out += w + 1;
    } else {
      out += ' ';
      out += w;
    }
  }
  out += r.below(8) == 0 ? "! " : ". ";
}

void head(Random& r, std::string& out) {
  out +=
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html>\n<head>\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
      "<meta http-equiv=\"refresh\" content=\"300\">\n"
      "<title>The Daily Courier - News, Sport and Weather</title>\n"
      "<link rel=\"stylesheet\" type=\"text/css\" href=\"/css/courier.css\">\n"
      "<style type=\"text/css\">\nbody { margin: 0; font-family: Verdana, sans-serif; }\n"
      "td.nav { background: #003366; color: #ffffff; }\n.ad { border: 1px solid #999; }\n"
      "</style>\n"
      "<script type=\"text/javascript\" src=\"http://ad.doubleclick.net/adj/courier/home;sz=468x60"
      ";ord=";
  out += std::to_string(r.next());
  out += "?\"></script>\n<script type=\"text/javascript\">\nvar _page = { section: 'home', id: ";
  out += std::to_string(r.next() % 100000);
  out +=
      " };\nfunction hl(el) { el.style.color = '#cc0000'; }\nfunction init() { "
      "if (document.cookie.indexOf('seen') < 0) { window.open('/promo/popup.html', 'promo', "
      "'width=400,height=300'); } }\n</script>\n</head>\n"
      "<body bgcolor=\"#ffffff\" text=\"#000000\" link=\"#003366\" onload=\"init()\">\n";
}

void navigation(Random& r, std::string& out) {
  static const char* const kSections[] = {"News", "Sport",  "Business", "Weather",
                                          "Arts", "Travel", "Letters",  "Property"};
  out += "<table width=\"100%\" border=\"0\" cellpadding=\"3\" cellspacing=\"0\"><tr>\n";
  for (const char* s : kSections) {
    out += "<td class=\"nav\" bgcolor=\"#003366\"><a href=\"/section/";
    out += s;
    out += ".html?ref=nav&amp;t=";
    out += std::to_string(r.next() % 1000);
    out +=
        "\" onmouseover=\"hl(this)\" onmouseout=\"this.style.color=''\"><font color=\"#ffffff\" "
        "face=\"Verdana\" size=\"2\"><b>";
    out += s;
    out += "</b></font></a></td>\n";
  }
  out += "</tr></table>\n";
}

void article(Random& r, std::string& out) {
  out += "<div class=\"article\">\n<h2><a href=\"/story/";
  out += std::to_string(r.next() % 900000 + 100000);
  out += ".html\" target=\"_blank\">";
  sentence(r, out);
  out += "</a></h2>\n";
  if (r.below(2) == 0) {
    out += "<img src=\"/images/photos/p";
    out += std::to_string(r.next() % 100000);
    out += ".jpg\" width=\"300\" height=\"200\" border=\"0\" align=\"left\" alt=\"";
    out += kWords[r.below(kWordCount)];
    out += "\">\n";
  }
  for (int p = 1 + r.below(3); p > 0; --p) {
    out += "<p>";
    for (int s = 2 + r.below(4); s > 0; --s) sentence(r, out);
    out += "</p>\n";
  }
  out += "</div>\n";
}

void banner(Random& r, std::string& out) {
  const uint32_t id = r.next() % 10000;
  out += "<!-- begin ad slot ";
  out += std::to_string(id);
  out += " -->\n<div class=\"ad\"><a href=\"http://ads.adnet.example/click?zone=";
  out += std::to_string(id);
  out += "&amp;cb=";
  out += std::to_string(r.next());
  out += "\" target=\"_blank\"><img src=\"http://ads.adnet.example/ads/banner";
  out += std::to_string(id % 40);
  out +=
      ".gif\" width=\"468\" height=\"60\" border=\"0\" alt=\"Advertisement\"></a></div>\n"
      "<!-- end ad slot -->\n";
}

void layout_table(Random& r, std::string& out) {
  out += "<table width=\"100%\" border=\"1\" cellpadding=\"2\" bgcolor=\"#eeeeee\">\n";
  for (int row = 2 + r.below(4); row > 0; --row) {
    out += "<tr>";
    for (int cell = 0; cell < 3; ++cell) {
      out += "<td bgcolor=\"#";
      out += r.below(2) ? "cccccc" : "f0f0f0";
      out += "\" valign=\"top\"><font face=\"Arial\" size=\"2\">";
      out += kWords[r.below(kWordCount)];
      out += ' ';
      out += std::to_string(r.next() % 1000);
      out += "</font></td>";
    }
    out += "</tr>\n";
  }
  out += "</table>\n";
}

void script(Random& r, std::string& out) {
  switch (r.below(3)) {
    case 0:
      out +=
          "<script type=\"text/javascript\">\ndocument.write('<img src=\"http://stats.example/"
          "count.gif?p=";
      out += std::to_string(r.next());
      out += "\" width=\"1\" height=\"1\">');\n</script>\n";
      break;
    case 1:
      out += "<script language=\"JavaScript\">\n<!--\nvar now = new Date(); var n = ";
      out += std::to_string(r.next() % 500);
      out +=
          ";\nfor (var i = 0; i < n; i++) { if (i % 7 == 0) { window.status = 'Welcome'; } }\n"
          "// -->\n</script>\n";
      break;
    default:
      out +=
          "<script type=\"text/javascript\" src=\"http://ad.doubleclick.net/adj/courier/story;"
          "tile=";
      out += std::to_string(r.below(9));
      out += "\"></script>\n";
      break;
  }
}

void widgets(Random& r, std::string& out) {
  switch (r.below(4)) {
    case 0:
      out += "<iframe src=\"http://ads.adnet.example/frame?zone=";
      out += std::to_string(r.next() % 10000);
      out += "\" width=\"728\" height=\"90\" frameborder=\"0\" scrolling=\"no\"></iframe>\n";
      break;
    case 1:
      out +=
          "<form action=\"/search\" method=\"get\"><input type=\"hidden\" name=\"sid\" "
          "value=\"";
      out += std::to_string(r.next());
      out +=
          "\"><input type=\"text\" name=\"q\" size=\"20\"> <input type=\"submit\" "
          "value=\"Search\"></form>\n";
      break;
    case 2:
      out += "<p><blink><font color=\"red\">Breaking:</font></blink> <marquee behavior=\"scroll\">";
      sentence(r, out);
      out += "</marquee></p>\n";
      break;
    default:
      out += "<ul>\n";
      for (int i = 3 + r.below(5); i > 0; --i) {
        out += "<li><a href=\"/archive/";
        out += std::to_string(r.next() % 5000);
        out += ".html\">";
        out += kWords[r.below(kWordCount)];
        out += ' ';
        out += kWords[r.below(kWordCount)];
        out += "</a></li>\n";
      }
      out += "</ul>\n";
      break;
  }
}

}  // namespace

std::string build_realistic_page(size_t bytes, uint32_t seed) {
  Random r(seed);
  std::string out;
  out.reserve(bytes + 4096);
  head(r, out);
  navigation(r, out);
  while (out.size() < bytes) {
    switch (r.below(10)) {
      case 0:
        banner(r, out);
        break;
      case 1:
        layout_table(r, out);
        break;
      case 2:
        script(r, out);
        break;
      case 3:
        widgets(r, out);
        break;
      case 4:
        navigation(r, out);
        break;
      default:
        article(r, out);
        break;
    }
  }
  out.resize(bytes);
  return out;
}

const std::vector<TypicalFilter>& typical_filters() {
  static const std::vector<TypicalFilter> filters = {
      {"Ad server scripts", "<script*</script>", "*doubleclick.net*", 4096, ""},
      {"Counter images", nullptr, "document.write(*);", 1024, ""},
      {"Pop-up windows", nullptr, "window.open(*)", 512, "void(0)"},
      {"Ad frames", nullptr, "<iframe*</iframe>", 2048, ""},
      {"Banner by size", nullptr, "<img*width=[#468]*height=[#60]*>", 512, "<!-- banner -->"},
      {"Ad images", nullptr, "<img*src=\"\\1/ads/*'*>", 512, ""},
      {"Ad links", nullptr, "<a\\w href=\"http://ads.\\1'*>", 512, "<a>"},
      {"Ad comments", nullptr, "<!-- begin ad*-->", 256, ""},
      {"Event handlers", nullptr, "on(load|unload|mouseover|mouseout)=\"*'", 256, ""},
      {"New windows", nullptr, " target=\"_blank'", 64, ""},
      {"Refresh", nullptr, "<meta http-equiv=\"refresh'*>", 256, ""},
      {"Body colours", nullptr, "<body*>", 512, "<body>"},
      {"Cell colours", nullptr, "<(table|td|tr)\\1 *bgcolor=\"\\2'*>", 256, "<\\1>"},
      {"Fonts", nullptr, "<(/|)font*>", 256, ""},
      {"Blink", nullptr, "<(/|)blink>", 16, ""},
      {"Marquee", nullptr, "<(/|)marquee*>", 256, ""},
      {"Hidden fields", nullptr, "<input\\w type=\"hidden'*>", 256, ""},
      {"Status bar", nullptr, "window.status\\s=*;", 256, ""},
      {"Style sheets", nullptr, "<link*stylesheet*>", 256, ""},
      {"Word list", nullptr, "(casino|poker|lottery|viagra|jackpot)", 16, "****"},
  };
  return filters;
}

}  // namespace kw::bench
