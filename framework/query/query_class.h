#pragma once
// QueryClass: query by example. Turns the values a user typed into a query form (one value, or
// low / single / high per field) into a filter expression for a view, keeps named queries in the
// INI file, and offers the saved ones as a submenu of a popup. Owns its field list and the list
// of popup items it added; never owns the INI manager, the error manager or the popup it is
// handed. Calls INIClass (framework/util), PopupClass (framework/popup), ErrorClass
// (framework/error) and the runtime's pictures; it knows no view: the browse installs the text.
//
// What the browse calls (and nothing else):
//   Ask(true)                 the user's query; true when a filter is to be applied. The base
//                             class has no dialog: it asks nothing and answers false.
//   GetFilter()               the expression to install as the view filter kQueryFilterId
//                             ("" when nothing was typed: the browse removes the filter).
//   ClearQuery()              forget every typed value.
//   QuickPopupOffered()       whether SetQuickPopup has anything to offer (an INI manager).
//   SetQuickPopup(popup, c)   (re)builds the saved-queries submenu; its items post
//                             EVENT_NewSelection to control c.
//   Take(popup)               after such a post: restores the chosen query (or clears it for
//                             "Clear"), saves it as "tsMRU" and answers 1; 0 when no quick popup.
//   Kill()                    before the browse goes.
//
// Subclass contract: a query form overrides Kind() (QueryKind::OneValue or Range) and Ask, and
// fills Low/Middle/High through SetValues or Fields(). Created and used on one thread.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "framework/util/ini_class.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"

class ErrorClass;
class PopupClass;

// The view filter id under which a browse installs the query's filter.
inline constexpr std::string_view kQueryFilterId = "9 - QBE";

// What a query form is.
namespace QueryKind {
inline constexpr rt::Byte OneValue = 1;  // only Middle; a value in Low is moved there
inline constexpr rt::Byte Range = 2;     // Low, Middle and High
}  // namespace QueryKind

// One queryable field.
struct FieldQueueEntry {
  rt::CString<100> Name;     // the field as the view's expressions name it, or an UPPER(...) of it
  rt::CString<100> Title;    // its caption in the form
  rt::CString<40> Picture;   // first letter: S string, N number, E scientific, T time, D date
  rt::CString<500> Low;      // typed values: at most 499 bytes each, longer ones are cut
  rt::CString<500> Middle;
  rt::CString<500> High;
  rt::Byte ForceEditPicture = 0;  // compare the field in its edited (picture) form
};
using FieldQueue = std::vector<FieldQueueEntry>;

// One bound of a field, as GetLimit gives it.
struct QueryLimit {
  std::string value;     // at most 999 bytes
  std::string op;        // "<", ">=", "~=" ... or "Contains", "Begins"; at most 20 bytes
  rt::Byte caseless = 0;
  std::string picture;   // the picture the value is compared under; "" when it was unformatted
};

class QueryClass {
 public:
  // GetLimit's answer while another bound of the same field follows.
  static constexpr rt::Byte kMoreBounds = 5;
  static constexpr std::size_t kMaxFilter = 5000;
  static constexpr std::size_t kMaxValue = 999;
  static constexpr std::size_t kMaxQuoted = 1000;
  static constexpr std::size_t kMaxOperator = 20;

  QueryClass() = default;
  virtual ~QueryClass() { Kill(); }
  QueryClass(const QueryClass&) = delete;
  QueryClass& operator=(const QueryClass&) = delete;

  // ---- Life cycle ----
  // `family` groups this query's saved queries in the INI file; without `ini` nothing is saved
  // or listed; without `errors` a dropped column is not reported.
  void Init(std::string_view family, INIClass* ini, ErrorClass* errors);
  virtual void Kill();

  // ---- The fields ----
  void AddItem(std::string_view name, std::string_view title, std::string_view picture = {},
               rt::Byte forceEditPicture = 0);
  // Sets the typed values of the field named `name` (ignoring case); false when none is.
  bool SetValues(std::string_view name, std::string_view middle, std::string_view low = {},
                 std::string_view high = {});
  FieldQueue& Fields() { return fields_; }
  const FieldQueue& Fields() const { return fields_; }
  virtual void ClearQuery();

  // ---- The form (a subclass overrides) ----
  virtual rt::Byte Kind() const { return QueryKind::OneValue; }
  virtual bool Ask(bool /*useLast*/) { return false; }

  // ---- The filter ----
  // Whole conditions joined by " AND "; a condition that would take the text past kMaxFilter is
  // left out with everything after it, so the text always parses.
  virtual std::string GetFilter();
  // The next bound of field `position` (1-based): continuation 0 first, then the previous
  // answer; answers kMoreBounds while another bound follows, else 0.
  rt::Byte GetLimit(std::size_t position, QueryLimit& limit, rt::Byte continuation);
  // Splits the operator characters "=<>~" off the front of `value` into `operators` (normalised,
  // with `operatorName` folded in) and the rest into `rest`.
  static void MakeOperator(std::string_view value, std::string_view operatorName, std::string& operators,
                           std::string& rest);
  static std::string MakeOperator(std::string_view value, std::string_view operatorName);
  // 'text' with each quote doubled; the text is cut first so the result fits kMaxQuoted.
  static std::string Quote(std::string_view text);

  // ---- Saved queries (INI file) ----
  void Save(std::string_view name);
  // A saved column that no field matches is reported (id 44) and dropped.
  void Restore(std::string_view name);
  // The family's saved queries by name, without "tsMRU".
  void GetQueries(SectorQueue& queries);

  // ---- Quick popup ----
  virtual bool QuickPopupOffered() const { return ini_ != nullptr; }
  void SetQuickPopup(PopupClass& popup, rt::UShort control);
  rt::Byte Take(PopupClass* popup);
  std::string LastSelection() const { return lastSelection_; }

 private:
  struct QuickItem {
    std::string popupName;  // the name the popup stored
    std::string query;      // the saved query it restores; "" for the other items
  };
  // ASCII letters upper-cased, as the expression language's UPPER does.
  static std::string Upper(std::string_view text);
  // "UPPER(x)" -> "x"; anything else unchanged.
  static std::string_view Unwrapped(std::string_view name);
  FieldQueueEntry* Find(std::string_view name);
  void ParseBound(const FieldQueueEntry& entry, QueryLimit& limit) const;
  static void Unformat(QueryLimit& limit);
  std::string Condition(const FieldQueueEntry& entry, QueryLimit limit) const;

  FieldQueue fields_;
  std::string family_;
  INIClass* ini_ = nullptr;       // not owned
  ErrorClass* errors_ = nullptr;  // not owned
  std::vector<QuickItem> quickList_;
  rt::Byte quickPopup_ = 0;
  std::string lastSelection_;
};
