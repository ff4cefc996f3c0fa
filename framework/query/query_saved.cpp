// QueryClass: named queries in the INI file and the quick popup that lists them.
//
// A saved query is the section GetSector("Query", name, family) holding the queue "Fields":
// Fields=<n>, Fields_<i>=<name>,<middle>,<low>,<high>. The INI queue joins values with ',' and
// cannot read a ',' back, and a line break would be refused by the store; so '%', ',', CR and LF
// are written as %25, %2C, %0D and %0A (field expressions such as SUB(A,1,3) hold commas too).
// A file written before this escaping reads back the same unless a value held "%2C" itself.

#include <algorithm>
#include <cctype>
#include <memory>

#include "framework/error/error_class.h"
#include "framework/popup/popup_class.h"
#include "framework/query/query_class.h"
#include "runtime/core/assert.h"
#include "runtime/ui/events.h"

namespace {

constexpr std::string_view kQueryFamily = "Query";
constexpr std::string_view kFieldsKey = "Fields";
constexpr std::string_view kLastQuery = "tsMRU";

// One saved field; escaped texts may be three times as long as the values.
struct SavedField {
  rt::CString<400> Name;
  rt::CString<1500> Middle;
  rt::CString<1500> Low;
  rt::CString<1500> High;
};

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '%': out += "%25"; break;
      case ',': out += "%2C"; break;
      case '\r': out += "%0D"; break;
      case '\n': out += "%0A"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      std::string code(text.substr(i + 1, 2));
      for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      const char decoded = code == "25" ? '%' : code == "2C" ? ',' : code == "0D" ? '\r' : code == "0A" ? '\n' : '\0';
      if (decoded != '\0') {
        out += decoded;
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// A query's name as a menu entry: characters the menu text gives a meaning are left out.
std::string MenuText(std::string_view name) {
  std::string text;
  for (const char c : name)
    if (c != '|' && c != '{' && c != '}') text += c;
  const std::size_t marks = text.find_first_not_of("~+-");
  return marks == std::string::npos ? std::string("?") : text.substr(marks);
}

}  // namespace

// ---- Saved queries ----

void QueryClass::Save(std::string_view name) {
  if (!ini_) return;
  const std::string sector = ini_->GetSector(kQueryFamily, name, family_);
  ini_->AddSector(sector);
  auto work = std::make_unique<rt::QueueOf<SavedField>>();
  SavedField& saved = work->Rec();
  for (const FieldQueueEntry& entry : fields_) {
    saved.Name = Escaped(entry.Name.View());
    saved.Middle = Escaped(entry.Middle.View());
    saved.Low = Escaped(entry.Low.View());
    saved.High = Escaped(entry.High.View());
    work->Q().Add();
  }
  ini_->UpdateQueue(sector, kFieldsKey, work->Q(), saved.Name, saved.Middle, saved.Low, saved.High);
}

void QueryClass::Restore(std::string_view name) {
  ClearQuery();
  if (!ini_) return;
  const std::string sector = ini_->GetSector(kQueryFamily, name, family_);
  auto work = std::make_unique<rt::QueueOf<SavedField>>();
  SavedField& saved = work->Rec();
  ini_->FetchQueue(sector, kFieldsKey, work->Q(), saved.Name, saved.Middle, saved.Low, saved.High);
  for (rt::Long i = 1; i <= work->Q().Records(); ++i) {
    work->Q().Get(i);
    const std::string savedName = Unescaped(saved.Name.View());
    FieldQueueEntry* entry = Find(savedName);
    if (!entry) entry = Find("UPPER(" + savedName + ")");
    bool unwrapped = false;
    if (const std::string_view inner = Unwrapped(savedName); !entry && inner != savedName) {
      entry = Find(inner);
      unwrapped = entry != nullptr;
    }
    if (!entry) {
      if (errors_) {
        errors_->SetField(savedName);
        errors_->Throw(44);
      }
      continue;
    }
    entry->Middle = Unescaped(saved.Middle.View());
    entry->Low = Unescaped(saved.Low.View());
    entry->High = Unescaped(saved.High.View());
    // The column was caseless when it was saved: its values ask for that with a caret now.
    std::string_view picture = entry->Picture.View();
    if (!picture.empty() && picture.front() == '@') picture.remove_prefix(1);
    const bool textual = picture.empty() || std::toupper(static_cast<unsigned char>(picture.front())) == 'S';
    if (!unwrapped || !textual) continue;
    for (rt::CString<500>* value : {&entry->Middle, &entry->Low, &entry->High}) {
      const std::string_view v = value->View();
      if (v.empty() || v[0] == '^' || (v.size() > 1 && v[1] == '^')) continue;
      *value = "^" + std::string(v);
    }
  }
}

void QueryClass::GetQueries(SectorQueue& queries) {
  queries.Q().Free();
  if (!ini_) return;
  ini_->GetSectors(kQueryFamily, "", family_, queries);
  SectorRecord& r = queries.Rec();
  queries.Q().Sort({r.Item});
  for (rt::Long i = queries.Q().Records(); i >= 1; --i) {
    queries.Q().Get(i);
    if (r.Item.View() == kLastQuery) queries.Q().Delete();
  }
}

// ---- Quick popup ----

void QueryClass::SetQuickPopup(PopupClass& popup, rt::UShort control) {
  for (const QuickItem& item : quickList_) popup.DeleteItem(item.popupName);
  quickList_.clear();
  const auto add = [&](std::string_view text, std::string_view name, rt::Long depth, std::string query = {}) {
    const std::string stored = popup.AddItem(text, name, {}, depth);
    if (!stored.empty()) quickList_.push_back({stored, std::move(query)});
    return stored;
  };
  SectorQueue queries;
  GetQueries(queries);
  add("-", "tsQBESeparator1", 1);
  add("Saved &Queries", "tsQBEQueries", 1);
  if (queries.Q().Records() == 0) add("~Empty", "tsQBEEmpty", 2);
  for (rt::Long i = 1; i <= queries.Q().Records(); ++i) {
    queries.Q().Get(i);
    const std::string query = queries.Rec().Item.Str();
    const std::string stored = add(MenuText(query), query, 2, query);
    if (!stored.empty()) popup.AddItemEvent(stored, rt::EVENT_NewSelection, control);
  }
  add("-", "ClearSeparator", 2);
  const std::string clear = add("C&lear", "tsQBEClear", 2);
  if (!clear.empty()) popup.AddItemEvent(clear, rt::EVENT_NewSelection, control);
  quickPopup_ = 1;
}

rt::Byte QueryClass::Take(PopupClass* popup) {
  RT_ASSERT(popup != nullptr, "QueryClass: Take without a popup");
  if (!popup || !quickPopup_) return 0;
  lastSelection_ = popup->GetLastSelection();
  const auto chosen = std::find_if(quickList_.begin(), quickList_.end(),
                                   [&](const QuickItem& item) { return item.popupName == lastSelection_; });
  if (chosen != quickList_.end() && !chosen->query.empty()) Restore(chosen->query);
  else ClearQuery();
  Save(kLastQuery);
  return 1;
}
