// Frame and page texts of the generated error pages, and their sending.
#include "engine/generated_pages.h"

#include <cstring>
#include <string>

#include "platform/program_directory.h"

namespace kw {

const char kHostLookupFailedPage[] =
    "<font size=+2>Host Name Lookup Failed</font><p>\n"
    "The Kestrelwick couldn't find the site named...<br>\n"
    "<font color=#ffff00 size=+1 > %s </font><br>\n"
    "Check that the name is correct. If so, the site may have changed or\n"
    "may no longer exist.\n";

const char kConnectFailedPage[] =
    "<font size=+2>Error connecting to site</font><p>\n"
    "The Kestrelwick couldn't connect to...<br>\n"
    "<font color=#ffff00 size=+1 > %s </font><br>\n"
    "The site may be busy or the web server may be down.\n";

const char kBadTunnelTargetPage[] =
    "<font size=+2>Bad secure site address</font><p>\n"
    "The Kestrelwick can't open a tunnel to...<br>\n"
    "<font color=#ffff00 size=+1 > %s </font><br>\n"
    "A secure site is named by its host and port, such as www.example.com:443.\n";

const char kSecureSiteFailedPage[] =
    "<font size=+2>Secure site not trusted</font><p>\n"
    "The Kestrelwick couldn't make sure that it speaks with the real site...<br>\n"
    "<font color=#ffff00 size=+1 > %s </font><br>\n"
    "Its certificate or its secure connection failed the check named above, so nothing\n"
    "it sent is shown.\n";

namespace {

constexpr char kHead[] = "<html><head><title>The Kestrelwick Reveals...</title>\n<base href=\"";
constexpr char kAfterBase[] =
    "html/ProxyLogo.jpg\"></head>\n"
    "<body text=#00ff00 bgcolor=#330044 background=\"Gradient.gif\">\n"
    "<table border=0 cellspacing=0 cellpadding=0 bgcolor=#000000 width=100%>\n"
    "<tr><td valign=top>\n"
    "<img src=\"ProxyLogo.jpg\" border=0 hspace=0 vspace=0 align=left>\n"
    "<table border=0 cellpadding=4><tr><td valign=top>";
constexpr char kTail[] = "</td></tr></table>\n</td></tr></table>\n</body></html>\n";

std::string html_escaped(const char* text, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    switch (text[i]) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += text[i];
    }
  }
  return out;
}

}  // namespace

int send_error_page(HttpMessage* msg, const char* page_text, const char* text, int text_len) {
  if (text == nullptr) text = "";
  size_t n = text_len == 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(text_len));

  const char* directory = program_directory();
  std::string base(7 + 3 * std::strlen(directory) + 1, '\0');
  base.resize(static_cast<size_t>(program_directory_url(base.data())));

  const char* mark = std::strstr(page_text, "%s");
  std::string before = mark ? std::string(page_text, mark) : std::string(page_text);
  const char* after = mark ? mark + 2 : "";

  send_text(msg, kHead);
  send_text(msg, base.c_str());
  send_text(msg, kAfterBase);
  send_text(msg, before.c_str());
  send_text(msg, html_escaped(text, n).c_str());
  send_text(msg, after);
  send_text(msg, kTail);
  return 1;
}

}  // namespace kw
