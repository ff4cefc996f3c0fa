#include "framework/util/ini_class.h"

#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/core/text.h"
#include "runtime/data/ini_store.h"
#include "runtime/data/registry_store.h"

namespace {

constexpr std::string_view kIndexSection = "__Dont_Touch_Me__";
constexpr std::string_view kIndexName = "Sectors";
constexpr std::string_view kUnknown = "---Unknown---";
constexpr std::string_view kNotSupported = "NV_Table: Not Supported Yet";
constexpr rt::Long kClassesRoot = static_cast<rt::Long>(0x80000000u);

std::string Cut(std::string_view text, std::size_t maxBytes) { return std::string(rt::Utf8Prefix(text, maxBytes)); }

// The leading number of a text as a Long, as a Long field would read it (0 when none or too big).
rt::Long NumberOf(std::string_view text) {
  rt::Long value = 0;
  if (!rt::FieldRef(value).SetText(text)) value = 0;
  return value;
}

// Holds the object's lock for one operation.
class Hold {
 public:
  explicit Hold(const CriticalSection& section) { guard_.Init(section.GetIFace()); }

 private:
  CriticalProcedure guard_;
};

}  // namespace

std::string AddDollar(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '$') {
      out += "$$$";
    } else {
      out += c;
    }
  }
  return Cut(out, 1024);
}

std::string RemoveDollar(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text.substr(i, 3) == "$$$") i += 2;
  }
  return Cut(out, 1024);
}

INIClass::~INIClass() { Kill(); }

// ---- Life cycle ----

void INIClass::Init(std::string_view fileName, rt::Long nvType, rt::Long extraData) {
  Hold hold(critSect_);
  if (sectors_) Kill();
  fileName_ = rt::Utf8Prefix(fileName, 259);
  nvType_ = nvType;
  extraData_ = extraData;
  sectors_ = std::make_unique<SectorQueue>();
  Fetch();
  SectorRecord& r = sectors_->Rec();
  FetchQueue(kIndexSection, kIndexName, sectors_->Q(), r.Family, r.Item, r.Type);
  SortIndex();
}

void INIClass::Kill() {
  Hold hold(critSect_);
  if (!sectors_) return;
  SectorRecord& r = sectors_->Rec();
  UpdateQueue(kIndexSection, kIndexName, sectors_->Q(), r.Family, r.Item, r.Type);
  sectors_.reset();
}

// An index edited by hand may be out of order or hold repeats; AddSector's binary search and
// GetSectors' order need it sorted and unique.
void INIClass::SortIndex() {
  SectorRecord& r = sectors_->Rec();
  rt::Queue& q = sectors_->Q();
  q.Sort({r.Family, r.Item, r.Type});
  SectorRecord previous;
  for (rt::Long i = 1; i <= q.Records();) {
    q.Get(i);
    if (i > 1 && r.Family == previous.Family.View() && r.Item == previous.Item.View() && r.Type == previous.Type.View()) {
      q.Delete();
      continue;
    }
    previous = r;
    ++i;
  }
}

// ---- The store ----

std::string INIClass::KeyPath(std::string_view sector) const {
  if (fileName_.View().empty()) return std::string(sector);
  return fileName_.Str() + "\\" + std::string(sector);
}

rt::Long INIClass::RegistryRoot() const { return extraData_ != 0 ? extraData_ : kClassesRoot; }

std::string INIClass::Fetch(std::string_view sector, std::string_view name, std::string_view defaultValue,
                            std::string_view fileName) {
  Hold hold(critSect_);
  switch (nvType_) {
    case NV_INIFile: return Cut(rt::GetIni(sector, name, defaultValue, fileName), 1023);
    case NV_Registry: {
      const std::string value = rt::GetReg(RegistryRoot(), KeyPath(sector), name);
      return Cut(value.empty() ? defaultValue : std::string_view(value), 1023);
    }
    default: RT_ASSERT(false, kNotSupported); return {};
  }
}

void INIClass::Update(std::string_view sector, std::string_view name, std::string_view value,
                      std::string_view fileName) {
  Hold hold(critSect_);
  switch (nvType_) {
    case NV_INIFile: rt::PutIni(sector, name, value, fileName); return;
    case NV_Registry:
      if (value.empty()) {
        Remove(sector, name);
      } else {
        rt::PutReg(RegistryRoot(), KeyPath(sector), name, value);
      }
      return;
    default: RT_ASSERT(false, kNotSupported); return;
  }
}

void INIClass::Remove(std::string_view sector, std::string_view name) {
  Hold hold(critSect_);
  switch (nvType_) {
    case NV_INIFile: rt::PutIni(sector, name, std::nullopt, fileName_.View()); return;
    case NV_Registry: rt::DeleteReg(RegistryRoot(), KeyPath(sector), name); return;
    default: RT_ASSERT(false, kNotSupported); return;
  }
}

// ---- Values ----

std::string INIClass::Fetch(std::string_view sector, std::string_view name) {
  Hold hold(critSect_);
  const std::string value = Cut(Fetch(sector, name, kUnknown, fileName_.View()), 999);
  if (value == kUnknown) {
    RT_ASSERT(false, "INI Assert: Could not find " + std::string(name) + " in sector " + std::string(sector) +
                         " of " + fileName_.Str());
  }
  return value;
}

std::string INIClass::TryFetch(std::string_view sector, std::string_view name) {
  Hold hold(critSect_);
  return Fetch(sector, name, "", fileName_.View());
}

void INIClass::Fetch(std::string_view sector, std::string_view name, rt::FieldRef value) {
  Hold hold(critSect_);
  if (value.IsNull()) {
    RT_ASSERT(false, "INIClass::Fetch: the value's field reference is null");
    return;
  }
  value.SetText(Fetch(sector, name, value.Text(), fileName_.View()));
}

void INIClass::Update(std::string_view sector, std::string_view name, std::string_view value) {
  Hold hold(critSect_);
  Update(sector, name, value, fileName_.View());
}

std::string INIClass::FetchField(std::string_view sector, std::string_view name, rt::Byte fieldNumber) {
  Hold hold(critSect_);
  const std::string value = Fetch(sector, name);
  std::size_t start = 0;
  for (int skip = 1; skip < fieldNumber; ++skip) {
    const std::size_t comma = value.find(',', start);
    if (comma == std::string::npos) {
      RT_ASSERT(false, "");
      return {};
    }
    start = comma + 1;
  }
  const std::size_t end = value.find(',', start);
  return value.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// ---- Queues ----

void INIClass::FetchQueue(std::string_view sector, std::string_view name, rt::Queue& queue, rt::FieldRef field1,
                          rt::FieldRef field2, rt::FieldRef field3, rt::FieldRef field4) {
  Hold hold(critSect_);
  const rt::FieldRef fields[] = {field1, field2, field3, field4};
  const rt::Long count = NumberOf(TryFetch(sector, name));
  for (rt::Long i = 1; i <= count; ++i) {
    const std::string key = std::string(name) + "_" + std::to_string(i);
    for (rt::Byte k = 1; k <= 4; ++k) {
      if (!fields[k - 1].IsNull()) fields[k - 1].SetText(FetchField(sector, key, k));
    }
    queue.Add();
  }
}

void INIClass::UpdateQueue(std::string_view sector, std::string_view name, rt::Queue& queue, rt::FieldRef field1,
                           rt::FieldRef field2, rt::FieldRef field3, rt::FieldRef field4) {
  Hold hold(critSect_);
  const rt::FieldRef fields[] = {field1, field2, field3, field4};
  Update(sector, name, std::to_string(queue.Records()));
  for (rt::Long i = 1; i <= queue.Records(); ++i) {
    queue.Get(i);
    std::string text;
    bool first = true;
    for (const rt::FieldRef& field : fields) {
      if (field.IsNull()) continue;
      if (!first) text += ',';
      text += field.Text();
      first = false;
    }
    Update(sector, std::string(name) + "_" + std::to_string(i), Cut(text, 5000));
  }
}

// ---- Structured sections ----

std::string INIClass::GetSector(std::string_view family, std::string_view item, std::string_view type) {
  return std::string(family) + "$" + AddDollar(item) + "$$" + std::string(type);
}

bool INIClass::GetFamily(std::string_view sector, rt::CString<100>& family, rt::CString<100>& item,
                         rt::CString<100>& type) {
  const std::size_t familyEnd = sector.find('$');
  std::size_t itemEnd = std::string_view::npos;
  if (familyEnd != std::string_view::npos) {
    for (std::size_t i = familyEnd + 1; i < sector.size(); ++i) {
      if (sector.substr(i, 3) == "$$$") {
        i += 2;  // an escaped "$" of the item
      } else if (sector.substr(i, 2) == "$$") {
        itemEnd = i;
        break;
      }
    }
  }
  const bool splits = familyEnd != std::string_view::npos && itemEnd != std::string_view::npos && familyEnd > 0 &&
                      itemEnd > familyEnd + 1 && itemEnd + 2 < sector.size();
  RT_ASSERT(splits, "");
  if (!splits) return false;
  family = sector.substr(0, familyEnd);
  item = sector.substr(familyEnd + 1, itemEnd - familyEnd - 1);
  type = sector.substr(itemEnd + 2);
  return true;
}

void INIClass::AddSector(std::string_view sector) {
  Hold hold(critSect_);
  RT_ASSERT(sectors_ != nullptr, "INIClass::AddSector: Init was not called");
  if (!sectors_) return;
  SectorRecord& r = sectors_->Rec();
  if (!GetFamily(sector, r.Family, r.Item, r.Type)) return;  // an unsplittable name would poison the index
  const rt::SortOrder key{r.Family, r.Item, r.Type};
  sectors_->Q().Get(key);
  if (rt::ErrorCode() != 0) sectors_->Q().Add(key);
}

void INIClass::GetSectors(std::string_view family, std::string_view item, std::string_view type, SectorQueue& out) {
  Hold hold(critSect_);
  out.Q().Free();
  if (!sectors_) return;
  const SectorRecord& r = sectors_->Rec();
  for (rt::Long i = 1; i <= sectors_->Q().Records(); ++i) {
    sectors_->Q().Get(i);
    const std::string unescaped = RemoveDollar(r.Item.View());
    if (!family.empty() && !(r.Family == family)) continue;
    if (!item.empty() && !rt::EqualBlankPadded(unescaped, item)) continue;
    if (!type.empty() && !(r.Type == type)) continue;
    out.Rec().Family = r.Family.View();
    out.Rec().Item = unescaped;
    out.Rec().Type = r.Type.View();
    out.Q().Add();
  }
}

// ---- Window placement ----

void INIClass::Update(std::string_view sector, rt::PropertyHolder& window) {
  Hold hold(critSect_);
  WindowInfo info;
  info.Maximized = NumberOf(window.GetProp(rt::PROP_Maximize)) != 0;
  info.Minimized = NumberOf(window.GetProp(rt::PROP_Iconize)) != 0;
  if (!info.Maximized && !info.Minimized) {
    info.X = NumberOf(window.GetProp(rt::PROP_XPos));
    info.Y = NumberOf(window.GetProp(rt::PROP_YPos));
    if (NumberOf(window.GetProp(rt::PROP_Resize)) != 0) {
      info.W = NumberOf(window.GetProp(rt::PROP_Width));
      info.H = NumberOf(window.GetProp(rt::PROP_Height));
    }
  }
  UpdateWindowInfo(sector, info);
}

void INIClass::UpdateWindowInfo(std::string_view sector, const WindowInfo& info) {
  Hold hold(critSect_);
  Update(sector, "Maximize", info.Maximized ? "Yes" : "No");
  Update(sector, "Minimize", info.Minimized ? "Yes" : "No");
  const std::pair<std::string_view, rt::Long> coordinates[] = {
      {"XPos", info.X}, {"YPos", info.Y}, {"Width", info.W}, {"Height", info.H}};
  for (const auto& [key, value] : coordinates) {
    if (value == kNoValue) {
      Remove(sector, key);
    } else {
      Update(sector, key, std::to_string(value));
    }
  }
}

void INIClass::FetchWindowInfo(std::string_view sector, WindowInfo& info) {
  Hold hold(critSect_);
  const std::string maximize = TryFetch(sector, "Maximize");
  if (maximize != "Yes" && maximize != "No") {
    info.Got = 0;
    return;
  }
  info.Maximized = maximize == "Yes";
  info.Minimized = TryFetch(sector, "Minimize") == "Yes";
  rt::Long* const targets[] = {&info.X, &info.Y, &info.W, &info.H};
  const std::string_view keys[] = {"XPos", "YPos", "Width", "Height"};
  for (std::size_t i = 0; i < 4; ++i) {
    const std::string text = TryFetch(sector, keys[i]);
    *targets[i] = text.empty() ? kNoValue : NumberOf(text);
  }
  info.Got = 1;
}

void INIClass::Fetch(std::string_view sector, rt::PropertyHolder& window) {
  Hold hold(critSect_);
  WindowInfo info;
  FetchWindowInfo(sector, info);
  if (!info.Got) return;
  const bool wasMaximized = NumberOf(window.GetProp(rt::PROP_Maximize)) != 0;
  if (!info.Maximized && wasMaximized) window.SetProp(rt::PROP_Maximize, "0");
  if (info.X != kNoValue) window.SetProp(rt::PROP_XPos, std::to_string(info.X));
  if (info.Y != kNoValue) window.SetProp(rt::PROP_YPos, std::to_string(info.Y));
  if (NumberOf(window.GetProp(rt::PROP_Resize)) != 0) {
    if (info.W != kNoValue) window.SetProp(rt::PROP_Width, std::to_string(info.W));
    if (info.H != kNoValue) window.SetProp(rt::PROP_Height, std::to_string(info.H));
  }
  if (info.Maximized && !wasMaximized) window.SetProp(rt::PROP_Maximize, "1");
  window.SetProp(rt::PROP_Iconize, info.Minimized ? "1" : "0");
}
