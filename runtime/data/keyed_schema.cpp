#include <cstdio>

#include "runtime/data/keyed_driver_internal.h"

namespace rt::keyed {

namespace {

std::string BareName(std::string_view name) {
  const std::size_t colon = name.rfind(':');
  return std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
}

const char* TypeName(FieldType type) {
  switch (type) {
    case FieldType::Long: return "Long";
    case FieldType::Short: return "Short";
    case FieldType::UShort: return "UShort";
    case FieldType::Byte: return "Byte";
    case FieldType::Real: return "Real";
    case FieldType::Decimal: return "Decimal";
    case FieldType::String: return "String";
    case FieldType::CString: return "CString";
    case FieldType::Date: return "Date";
    case FieldType::Time: return "Time";
  }
  return "?";
}

}  // namespace

std::string Quote(std::string_view identifier) {
  std::string out = "\"";
  for (const char c : identifier) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

std::string ColumnName(const RecordLayout& layout, std::size_t field) {
  const FieldLayout* f = layout.Field(field);
  if (!f) return {};
  const std::string bare = BareName(f->name);
  for (std::size_t other = 1; other <= layout.FieldCount(); ++other) {
    if (other != field && BareName(layout.Field(other)->name) == bare) {
      std::string whole = f->name;
      for (char& c : whole)
        if (c == ':') c = '_';
      return whole;
    }
  }
  return bare;
}

std::string KeyColumnName(const KeyDecl& key) { return "_key_" + BareName(key.name); }

std::string FieldsDescriptor(const RecordLayout& layout) {
  std::string out;
  for (const FieldLayout& f : layout.Fields()) {
    out += f.name + ":" + TypeName(f.shape.type) + ":" + std::to_string(f.shape.size) + ":" +
           std::to_string(f.shape.digits) + ":" + std::to_string(f.shape.places) + ";";
  }
  return out;
}

std::string KeysDescriptor(const FileDecl& decl) {
  std::string out;
  for (const KeyDecl& key : decl.keys) {
    out += key.name + "|" + (key.unique ? "U" : "D") + (key.noCase ? "N" : "C") + (key.optional ? "O" : "A") +
           (key.primary ? "P" : "S") + "|";
    for (const KeyComponent& c : key.components) out += std::to_string(c.field) + (c.ascending ? "+," : "-,");
    out += ";";
  }
  return out;
}

}  // namespace rt::keyed
