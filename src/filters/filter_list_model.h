// The staged copy of a filter list that a list dialog edits; the web filter list and the header
// filter list share it. The dialog shows working_list, LinkPat nodes of its own that point at
// records: live records of the program's list and copies that the editor made while the dialog
// is open (marked edited until they are installed). A removed node waits in the cut buffer (web
// filters, which can be pasted back) or on the discard list, which also takes the live records
// that edited copies replace; the next install frees the records of both. install() makes
// working_list the program's list under the list's lock while no connection uses the list,
// asking the user (Retry, Kill Connections, Go Back) while one does. A model that goes away
// frees the copies that were never installed and leaves every live record alone.
//
// item_count, cut_count and discard_count are the nodes of the three lists; record_total is the
// number of records the dialog is accountable for, kept equal to their sum; install checks it.
// User-interface thread only. The live list is replaced only inside install(), with its lock
// held; toggling a flag of a live record acts on the running proxy at once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "filters/hit_count.h"
#include "filters/web_filter.h"

namespace kw {

// The lock and use count that guard one program-wide list.
struct ListGuard {
  int (*lock_op)(int code);     // 2 acquire, 3 release
  int (*users_add)(int delta);  // 0 reads the count
};

// The in-use question: it shows the dialog and calls `answer` with kAnswerRetry or
// kAnswerKillConnections for each such button the user presses; answer returns 0 to keep the
// dialog open. The question returns
// how it ended: kListFree from answer, or anything else when the user went back.
using ButtonAnswer = std::function<int(int answer)>;
using InUseQuestion = std::function<int(const ButtonAnswer& answer)>;

inline constexpr int kListFree = 2;  // answer found the list unused; its lock is held

// Takes the guard's lock with no user counted: at once, or through the question, whose Retry
// checks again and whose Kill Connections first runs kill_connections and waits (a few seconds
// at most) for the killed connections to let go of the list. true with the lock held.
bool acquire_unused_list(const ListGuard& guard, const InUseQuestion& ask,
                         const std::function<void()>& kill_connections);

// What the two kinds of list do differently with their records.
struct FilterListKind {
  ListGuard guard;
  bool (*is_edited)(const void* record);
  void (*free_record)(void* record);  // clears and frees a record that is in no live list
  // Makes the records of `working`, in its order, the program's list; clears their edited mark.
  void (*install_list)(LinkPat* working);
  HitCount& (*hits)(const void* record);
};

class FilterListModel {
 public:
  FilterListModel(const FilterListModel&) = delete;
  FilterListModel& operator=(const FilterListModel&) = delete;
  ~FilterListModel();

  LinkPat* working_list() const { return working_; }
  LinkPat* cut_buffer() const { return cut_; }
  LinkPat* discard_list() const { return discard_; }
  int item_count() const { return item_count_; }
  int cut_count() const { return cut_count_; }
  int discard_count() const { return discard_count_; }
  int record_total() const { return record_total_; }
  bool list_changed() const { return list_changed_; }

  // A new node for a record the editor made, before `at` (at the head when at is none). Without
  // memory for the node the record is freed and the result is none.
  LinkPat* insert_before(LinkPat* at, void* record);
  // The editor built `copy` to replace the live record of `node`: the live record waits on
  // the discard list until the next install frees it. Without memory for that the copy is
  // freed, the node keeps its record and the result is false.
  bool replace_live(LinkPat* node, void* copy);
  void mark_changed() { list_changed_ = true; }

  // How often the node's record struck (a copy the editor made has not struck yet).
  uint64_t hits(const LinkPat* node) const { return kind_.hits(node->record).value(); }
  // "Reset counts": every record the dialog holds counts from 0 again; that includes every
  // live record, since the dialog starts with all of them and keeps removed ones until the
  // install frees them.
  void reset_counts();

  // "C&ut" (web filters): the old cut buffer goes onto the discard list, then each node (all in
  // working_list, in display order) is unlinked and pushed at the head of the cut buffer.
  void cut(const std::vector<LinkPat*>& nodes);
  // "&Paste": the cut buffer's nodes go back before `at` (at the end when at is none) in the
  // order they had before the cut. Nothing happens with an empty buffer.
  void paste(LinkPat* at);
  // "&Delete" (header filters): each node is unlinked and pushed onto the discard list.
  void discard(const std::vector<LinkPat*>& nodes);

  // apply_*_filter_list: without staged changes nothing happens (no lock is taken). 1 when the
  // program's list now is working_list (the cut buffer and the discard list are then empty and
  // their records freed), 0 when the user went back and nothing changed, or when the copy of
  // the program's list could not be made whole when the model was made.
  int install(const InUseQuestion& ask, const std::function<void()>& kill_connections);
  // After an install that freed or installed a different number of records than record_total
  // said, the two counts ("Total 5\nProcessed 4") for the dialog to show; else empty.
  const std::string& count_mismatch() const { return count_mismatch_; }

 protected:
  FilterListModel(const FilterListKind& kind, const void* first_live,
                  const void* (*next_live)(const void*));

 private:
  LinkPat** link_to(LinkPat* node);  // the link that points at node in working_list
  // Unlinks each node and pushes it at the head of *list.
  void unlink_onto(const std::vector<LinkPat*>& nodes, LinkPat** list, int* count);

  const FilterListKind& kind_;
  LinkPat* working_ = nullptr;
  LinkPat* cut_ = nullptr;  // in reverse order of removal
  LinkPat* discard_ = nullptr;
  int item_count_ = 0;
  int cut_count_ = 0;
  int discard_count_ = 0;
  int record_total_ = 0;
  bool list_changed_ = false;
  bool incomplete_ = false;  // a node of the program's list could not be allocated
  std::string count_mismatch_;
};

}  // namespace kw
