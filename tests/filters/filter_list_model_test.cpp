// The staged filter lists of the list dialogs and the editors' builds, without windows: the
// working order after cut and paste, what an install frees and installs, and what each editor
// mode builds (how an install asks while the list is in use is driven through the dialogs).
// Run under AddressSanitizer, every record a model frees or leaves alone is checked too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/settings.h"
#include "filters/filter_editing.h"
#include "filters/header_filter_list_model.h"
#include "filters/web_filter_list_model.h"
#include "node_allocation.h"
#include "support/recording_frontend.h"

namespace kw {
namespace {

using Names = std::vector<std::string>;

std::string name_of(const WebFilter* f) { return f->name ? f->name.get() : "-"; }

Names names(const LinkPat* list) {
  Names out;
  for (; list != nullptr; list = list->next) out.push_back(name_of(list->web_filter()));
  return out;
}

// The live list's names, checking its back links and that no edited mark is left on the way.
Names live_names() {
  Names out;
  const WebFilter* prev = nullptr;
  for (const WebFilter* f = web_filter_list; f != nullptr; prev = f, f = f->next) {
    EXPECT_EQ(f->prev, prev) << name_of(f);
    EXPECT_EQ(f->flags & FILTER_EDITED, 0) << name_of(f);
    out.push_back(name_of(f));
  }
  return out;
}

LinkPat* node(FilterListModel& m, const std::string& name) {
  for (LinkPat* n = m.working_list(); n != nullptr; n = n->next) {
    if (name_of(n->web_filter()) == name) return n;
  }
  return nullptr;
}

const InUseQuestion kNeverAsked = [](const ButtonAnswer&) {
  ADD_FAILURE() << "asked while the list was free";
  return 0;
};

// The live list starts as A, B, C, D, E, matching their own names.
class FilterListModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    free_web_filters();
    free_header_filters();
    for (const char* name : {"A", "B", "C", "D", "E"}) {
      build_web_filter(nullptr, FILTER_ACTIVE, name, nullptr, name, nullptr, 4096, nullptr);
    }
    settings_set_flags(0);
  }
  void TearDown() override {
    EXPECT_TRUE(frontend_.errors().empty()) << frontend_.errors().front();
    free_web_filters();
    free_header_filters();
  }
  // The editor's build of the item `name` renamed `to`, its record in *out.
  static int rename(WebFilterListModel& m, const std::string& name, const char* to,
                    WebFilter** out) {
    WebFilterFields fields = web_filter_fields(node(m, name)->web_filter());
    fields.name = to;
    return build_edited_web_filter(m, node(m, name), EDIT_EXISTING, fields, out);
  }
  // A new record matching "x" as the editor builds it.
  static WebFilter* fresh(WebFilterListModel& m) {
    WebFilter* made = nullptr;
    WebFilterFields fields = web_filter_fields(nullptr);
    fields.match = "x";
    EXPECT_EQ(build_edited_web_filter(m, nullptr, EDIT_NEW, fields, &made), 1);
    return made;
  }
  static void expect_counts_add_up(const FilterListModel& m) {
    EXPECT_EQ(m.record_total(), m.item_count() + m.cut_count() + m.discard_count());
  }

  test::RecordingFrontend frontend_;
};

// A cut never pasted is freed at the install; records that stay live keep their hit counts
// while an edited copy starts from 0.
TEST_F(FilterListModelTest, CutPasteAndInstallKeepTheLiveRecordsAndTheirCounts) {
  uint64_t n = 0;
  for (WebFilter* f = web_filter_list; f != nullptr; f = f->next, ++n) {
    for (uint64_t i = 0; i <= n; ++i) f->hits.add();  // A 1, B 2, ...
  }
  WebFilterListModel m;
  m.cut({node(m, "B"), node(m, "C")});
  EXPECT_EQ(names(m.cut_buffer()), (Names{"C", "B"}));
  m.paste(nullptr);  // no caret item: at the end
  m.cut({node(m, "A")});
  m.cut({node(m, "B")});  // A goes to the discard list
  EXPECT_EQ(names(m.discard_list()), Names{"A"});
  EXPECT_EQ(m.hits(node(m, "C")), 3u);
  WebFilter* copy = nullptr;
  ASSERT_EQ(rename(m, "C", "C2", &copy), 1);
  m.mark_changed();
  expect_counts_add_up(m);
  ASSERT_EQ(m.install(kNeverAsked, nullptr), 1);
  EXPECT_EQ(live_names(), (Names{"D", "E", "C2"}));
  EXPECT_EQ(m.record_total(), 3);
  EXPECT_TRUE(settings_has(Changed));
  std::vector<uint64_t> counts;
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    counts.push_back(f->hits.value());
  }
  EXPECT_EQ(counts, (std::vector<uint64_t>{4, 5, 0}));
  m.reset_counts();
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    EXPECT_EQ(f->hits.value(), 0u);
  }
}

// Without memory for a node nothing is lost: a model whose copy of the list came out short
// never installs it, and a made or edited record that cannot be linked in is freed (the
// AddressSanitizer build checks) while the live list stays as it was.
TEST_F(FilterListModelTest, NodesThatCannotBeAllocatedLoseNoFilter) {
  {
    test::fail_node_allocations = true;
    WebFilterListModel m;
    test::fail_node_allocations = false;
    EXPECT_EQ(m.item_count(), 0);
    m.insert_before(nullptr, fresh(m));
    EXPECT_EQ(m.install(kNeverAsked, nullptr), 0);
  }
  WebFilterListModel m;
  WebFilter* made = fresh(m);
  test::fail_node_allocations = true;
  EXPECT_EQ(m.insert_before(nullptr, made), nullptr);
  EXPECT_EQ(rename(m, "B", "B2", &made), 0);
  test::fail_node_allocations = false;
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(names(m.working_list()), (Names{"A", "B", "C", "D", "E"}));
  expect_counts_add_up(m);
  EXPECT_EQ(live_names(), (Names{"A", "B", "C", "D", "E"}));
}

TEST_F(FilterListModelTest, WebEditorBuilds) {
  WebFilterListModel m;
  WebFilter* live = node(m, "B")->web_filter();
  live->flags |= FILTER_MULTI;
  WebFilter* r = nullptr;
  WebFilterFields f = web_filter_fields(nullptr);
  f.match = "  \t ";
  EXPECT_EQ(build_edited_web_filter(m, nullptr, EDIT_NEW, f, &r), kMissingMatch);
  f = web_filter_fields(live);
  f.name = "   ";
  f.url = "  \x81host/";
  f.match = "  spaced";
  f.replace = " kept";
  f.multi = false;
  ASSERT_EQ(build_edited_web_filter(m, node(m, "B"), EDIT_DUPLICATE, f, &r), 1);
  EXPECT_EQ(r->name, nullptr);
  EXPECT_STREQ(r->url.get(), "host/");
  EXPECT_STREQ(r->match.get(), "  spaced");
  EXPECT_STREQ(r->replace.get(), " kept");
  EXPECT_EQ(r->flags, FILTER_ACTIVE | FILTER_EDITED);  // Multi cleared by the check box
  m.insert_before(node(m, "B"), r);

  // Editing the live record replaces it with a copy; editing the copy rebuilds it in place;
  // a failed build leaves it as it was.
  ASSERT_EQ(rename(m, "B", "B2", &r), 1);
  EXPECT_NE(r, live);
  EXPECT_EQ(node(m, "B2")->web_filter(), r);
  EXPECT_EQ(m.discard_list()->web_filter(), live);
  WebFilter* again = nullptr;
  ASSERT_EQ(rename(m, "B2", "B3", &again), 1);
  EXPECT_EQ(again, r);
  f = web_filter_fields(r);
  f.match = "a)";
  EXPECT_EQ(build_edited_web_filter(m, node(m, "B3"), EDIT_EXISTING, f, &again), -2);
  EXPECT_STREQ(r->match.get(), "B");
  expect_counts_add_up(m);
  EXPECT_EQ(m.discard_count(), 1);
}

// A new header filter has neither direction, and its fields lose their leading blanks.
TEST_F(FilterListModelTest, HeaderEditorBuildsANewFilter) {
  HeaderFilterListModel m;
  HeaderFilter* r = nullptr;
  HeaderFilterFields f = header_filter_fields(nullptr);
  f.key = " X-New";
  f.match = "  *";
  ASSERT_EQ(build_edited_header_filter(m, nullptr, EDIT_NEW, f, &r), 1);
  EXPECT_EQ(r->flags, HEADER_EDITED);
  EXPECT_STREQ(r->key.get(), "X-New");
  EXPECT_STREQ(r->match.get(), "*");
  m.insert_before(nullptr, r);
}

}  // namespace
}  // namespace kw
