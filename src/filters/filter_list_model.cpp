// The staged filter list shared by both list dialogs; see filter_list_model.h.
#include "filters/filter_list_model.h"

#include <chrono>
#include <cstdio>

#include "base/settings.h"
#include "platform/wait_until.h"
#include "report/frontend.h"

namespace kw {
namespace {

// How long Kill Connections waits for the killed connections to lower the use count.
constexpr auto kKillWait = std::chrono::seconds(5);

int count_nodes(const LinkPat* list) {
  int n = 0;
  for (; list != nullptr; list = list->next) ++n;
  return n;
}

}  // namespace

bool acquire_unused_list(const ListGuard& guard, const InUseQuestion& ask,
                         const std::function<void()>& kill_connections) {
  guard.lock_op(2);
  if (guard.users_add(0) == 0) return true;
  guard.lock_op(3);
  const ButtonAnswer answer = [&](int code) {
    if (code != kAnswerRetry && code != kAnswerKillConnections) return 0;
    if (code == kAnswerKillConnections) {
      if (kill_connections) kill_connections();
      wait_until([&] { return guard.users_add(0) == 0; }, kKillWait);
    }
    guard.lock_op(2);
    if (guard.users_add(0) == 0) return kListFree;
    guard.lock_op(3);
    return 0;
  };
  return ask && ask(answer) == kListFree;
}

FilterListModel::FilterListModel(const FilterListKind& kind, const void* first_live,
                                 const void* (*next_live)(const void*))
    : kind_(kind) {
  LinkPat** tail = &working_;
  for (const void* r = first_live; r != nullptr; r = next_live(r)) {
    *tail = new_linkpat(const_cast<void*>(r), nullptr);
    if (*tail == nullptr) {
      // A shortened copy must never replace the program's list: install refuses.
      incomplete_ = true;
      break;
    }
    tail = &(*tail)->next;
    ++item_count_;
  }
  record_total_ = item_count_;
}

FilterListModel::~FilterListModel() {
  // Copies still marked edited were never installed; live records stay where they are.
  for (LinkPat* list : {working_, cut_, discard_}) {
    for (LinkPat* n = list; n != nullptr; n = n->next) {
      if (kind_.is_edited(n->record)) kind_.free_record(n->record);
    }
    free_linkpat_list(list);
  }
}

LinkPat* FilterListModel::insert_before(LinkPat* at, void* record) {
  LinkPat** link = at != nullptr ? link_to(at) : &working_;
  if (link == nullptr) link = &working_;
  LinkPat* node = new_linkpat(record, *link);
  if (node == nullptr) {
    kind_.free_record(record);
    return nullptr;
  }
  *link = node;
  ++item_count_;
  ++record_total_;
  list_changed_ = true;
  return *link;
}

bool FilterListModel::replace_live(LinkPat* node, void* copy) {
  LinkPat* waiting = new_linkpat(node->record, discard_);
  if (waiting == nullptr) {
    kind_.free_record(copy);
    return false;
  }
  discard_ = waiting;
  ++discard_count_;
  ++record_total_;
  node->record = copy;
  return true;
}

LinkPat** FilterListModel::link_to(LinkPat* node) {
  for (LinkPat** link = &working_; *link != nullptr; link = &(*link)->next) {
    if (*link == node) return link;
  }
  return nullptr;
}

void FilterListModel::unlink_onto(const std::vector<LinkPat*>& nodes, LinkPat** list, int* count) {
  for (LinkPat* node : nodes) {
    LinkPat** link = link_to(node);
    if (link == nullptr) continue;
    *link = node->next;
    node->next = *list;
    *list = node;
    --item_count_;
    ++*count;
  }
  list_changed_ = true;
}

void FilterListModel::cut(const std::vector<LinkPat*>& nodes) {
  if (nodes.empty()) return;
  while (cut_ != nullptr) {
    LinkPat* node = cut_;
    cut_ = node->next;
    node->next = discard_;
    discard_ = node;
    ++discard_count_;
  }
  cut_count_ = 0;
  unlink_onto(nodes, &cut_, &cut_count_);
}

void FilterListModel::discard(const std::vector<LinkPat*>& nodes) {
  if (!nodes.empty()) unlink_onto(nodes, &discard_, &discard_count_);
}

void FilterListModel::paste(LinkPat* at) {
  if (cut_ == nullptr) return;
  LinkPat** link = at != nullptr ? link_to(at) : nullptr;
  if (link == nullptr) {
    link = &working_;
    while (*link != nullptr) link = &(*link)->next;
  }
  // The buffer holds the last node removed first: each goes in front of the one linked before.
  while (cut_ != nullptr) {
    LinkPat* node = cut_;
    cut_ = node->next;
    node->next = *link;
    *link = node;
    ++item_count_;
  }
  cut_count_ = 0;
  list_changed_ = true;
}

void FilterListModel::reset_counts() {
  for (LinkPat* list : {working_, cut_, discard_}) {
    for (LinkPat* n = list; n != nullptr; n = n->next) kind_.hits(n->record).reset();
  }
}

int FilterListModel::install(const InUseQuestion& ask,
                             const std::function<void()>& kill_connections) {
  if (!list_changed_) return 1;
  if (incomplete_) return 0;
  if (!acquire_unused_list(kind_.guard, ask, kill_connections)) return 0;
  settings_add_flags(Changed);
  kind_.install_list(working_);
  int processed = count_nodes(working_);
  for (LinkPat* list : {cut_, discard_}) {
    for (LinkPat* n = list; n != nullptr; n = n->next) {
      kind_.free_record(n->record);
      ++processed;
    }
  }
  kind_.guard.lock_op(3);
  count_mismatch_.clear();
  if (processed != record_total_) {
    char text[64];
    std::snprintf(text, sizeof text, "Total %d\nProcessed %d", record_total_, processed);
    count_mismatch_ = text;
  }
  free_linkpat_list(cut_);
  free_linkpat_list(discard_);
  cut_ = discard_ = nullptr;
  record_total_ -= cut_count_ + discard_count_;
  cut_count_ = discard_count_ = 0;
  list_changed_ = false;
  return 1;
}

}  // namespace kw
