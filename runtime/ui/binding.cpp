#include "runtime/ui/binding.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/core/picture.h"
#include "runtime/core/text.h"

namespace rt {

namespace {

// Plain text of a whole number: Deformat already rounded it to the picture's decimals, so a
// fraction here is rounded half away from zero as the pictures do.
template <class Int>
bool ParseWhole(std::string_view plain, Int& out) {
  const Decimal value = Decimal::FromText(plain.empty() ? std::string_view("0") : plain);
  if (!value.IsValid()) return false;
  const Decimal whole = value.Round(0);
  const std::optional<Long> asLong = whole.ToLong();
  if (!asLong) return false;
  if (*asLong < std::numeric_limits<Int>::min() || *asLong > std::numeric_limits<Int>::max()) return false;
  out = static_cast<Int>(*asLong);
  return true;
}

template <class Int>
class WholeBinding final : public Binding {
 public:
  explicit WholeBinding(Int& variable) : variable_(variable) {}
  std::string Text() const override { return std::to_string(variable_); }
  std::string Format(std::string_view picture) const override {
    return picture.empty() ? Text() : rt::Format(static_cast<Long>(variable_), picture);
  }
  bool SetFromText(std::string_view plain) override { return ParseWhole(plain, variable_); }
  bool IsEmpty() const override { return variable_ == 0; }

 private:
  Int& variable_;
};

class RealBinding final : public Binding {
 public:
  explicit RealBinding(Real& variable) : variable_(variable) {}
  std::string Text() const override { return Decimal::FromReal(variable_).ToString(); }
  std::string Format(std::string_view picture) const override {
    return picture.empty() ? Text() : rt::Format(variable_, picture);
  }
  bool SetFromText(std::string_view plain) override {
    const Decimal value = Decimal::FromText(plain.empty() ? std::string_view("0") : plain);
    if (!value.IsValid()) return false;
    variable_ = value.ToReal();
    return true;
  }
  bool IsEmpty() const override { return variable_ == 0; }

 private:
  Real& variable_;
};

class DecimalBinding final : public Binding {
 public:
  explicit DecimalBinding(Decimal& variable) : variable_(variable) {}
  std::string Text() const override { return variable_.ToString(); }
  std::string Format(std::string_view picture) const override {
    return picture.empty() ? Text() : rt::Format(variable_, picture);
  }
  bool SetFromText(std::string_view plain) override {
    return variable_.Assign(Decimal::FromText(plain.empty() ? std::string_view("0") : plain));
  }
  bool IsEmpty() const override { return variable_.IsZero(); }

 private:
  Decimal& variable_;
};

class PackedBinding final : public Binding {
 public:
  using Store = bool (*)(void*, const Decimal&);
  using Load = std::optional<Decimal> (*)(const void*);
  PackedBinding(void* object, int digits, int places, Store store, Load load)
      : object_(object), digits_(digits), places_(places), store_(store), load_(load) {}
  std::string Text() const override { return Value().ToString(); }
  std::string Format(std::string_view picture) const override {
    return picture.empty() ? Text() : rt::Format(Value(), picture);
  }
  bool SetFromText(std::string_view plain) override {
    Decimal shaped = Decimal::Declared(digits_, places_);
    if (!shaped.Assign(Decimal::FromText(plain.empty() ? std::string_view("0") : plain))) return false;
    return store_(object_, shaped);
  }
  bool IsEmpty() const override { return Value().IsZero(); }

 private:
  Decimal Value() const { return load_(object_).value_or(Decimal::Declared(digits_, places_)); }
  void* object_;
  int digits_;
  int places_;
  Store store_;
  Load load_;
};

class StringBinding final : public Binding {
 public:
  explicit StringBinding(std::string& variable) : variable_(variable) {}
  std::string Text() const override { return variable_; }
  std::string Format(std::string_view picture) const override {
    return picture.empty() ? variable_ : FormatText(variable_, picture);
  }
  bool SetFromText(std::string_view plain) override {
    variable_ = std::string(plain);
    return true;
  }
  bool IsEmpty() const override { return Clip(variable_).empty(); }

 private:
  std::string& variable_;
};

// Fixed strings (blank padded) and CStrings (zero terminated) in place, byte-exact.
class BytesBinding final : public Binding {
 public:
  BytesBinding(char* bytes, std::size_t size, bool zeroTerminated)
      : bytes_(bytes), size_(size), zeroTerminated_(zeroTerminated) {}
  std::string Text() const override {
    if (zeroTerminated_) return std::string(bytes_, ::strnlen(bytes_, size_));
    return std::string(Clip(std::string_view(bytes_, size_)));
  }
  std::string Format(std::string_view picture) const override {
    return picture.empty() ? Text() : FormatText(Text(), picture);
  }
  bool SetFromText(std::string_view plain) override {
    const std::size_t room = zeroTerminated_ ? size_ - 1 : size_;
    const std::string_view fit = Utf8Prefix(plain, room);
    std::memcpy(bytes_, fit.data(), fit.size());
    std::memset(bytes_ + fit.size(), zeroTerminated_ ? '\0' : ' ', size_ - fit.size());
    return true;
  }
  bool IsEmpty() const override { return Clip(Text()).empty(); }
  std::size_t MaxBytes() const override { return zeroTerminated_ ? size_ - 1 : size_; }

 private:
  char* bytes_;
  std::size_t size_;
  bool zeroTerminated_;
};

}  // namespace

BindingPtr Bind(Long& variable) { return std::make_shared<WholeBinding<Long>>(variable); }
BindingPtr Bind(Short& variable) { return std::make_shared<WholeBinding<Short>>(variable); }
BindingPtr Bind(Byte& variable) { return std::make_shared<WholeBinding<Byte>>(variable); }
BindingPtr Bind(Real& variable) { return std::make_shared<RealBinding>(variable); }
BindingPtr Bind(Decimal& variable) { return std::make_shared<DecimalBinding>(variable); }
BindingPtr Bind(std::string& variable) { return std::make_shared<StringBinding>(variable); }
BindingPtr BindText(char* bytes, std::size_t size, bool zeroTerminated) {
  return std::make_shared<BytesBinding>(bytes, size, zeroTerminated);
}

namespace detail {
BindingPtr BindPacked(void* object, int digits, int places, bool (*store)(void*, const Decimal&),
                      std::optional<Decimal> (*load)(const void*)) {
  return std::make_shared<PackedBinding>(object, digits, places, store, load);
}
}  // namespace detail

}  // namespace rt
