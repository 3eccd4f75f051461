// CustomValue: an application-defined payload carried inside an EncodableValue.
// The messaging layer never looks inside it; it only copies, destroys and
// orders it. Copies are deep (through the payload's own copy constructor), and
// a move copies as well, so the source keeps its payload. Ordering is by the
// address of the CustomValue object, so a value is equivalent only to itself.
#ifndef MORL_MESSAGING_CUSTOM_VALUE_H_
#define MORL_MESSAGING_CUSTOM_VALUE_H_

#include <functional>
#include <memory>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace flutter {

class CustomValue {
 public:
  template <typename T,
            typename = std::enable_if_t<!std::is_same<std::decay_t<T>, CustomValue>::value>>
  explicit CustomValue(T&& payload)
      : holder_(std::make_unique<Holder<std::decay_t<T>>>(std::forward<T>(payload))) {}

  CustomValue(const CustomValue& other) : holder_(other.holder_->Clone()) {}
  // Deliberately a copy: the source stays a valid custom value with its payload.
  CustomValue(CustomValue&& other) : holder_(other.holder_->Clone()) {}
  CustomValue& operator=(const CustomValue& other) {
    if (this != &other) holder_ = other.holder_->Clone();
    return *this;
  }
  CustomValue& operator=(CustomValue&& other) {
    return *this = static_cast<const CustomValue&>(other);
  }
  ~CustomValue() = default;

  const std::type_info& type() const { return holder_->Type(); }

  // The payload when it is a T, otherwise nullptr.
  template <typename T>
  const T* TryGet() const {
    if (holder_->Type() != typeid(T)) return nullptr;
    return &static_cast<const Holder<T>*>(holder_.get())->payload;
  }

 private:
  struct HolderBase {
    virtual ~HolderBase() = default;
    virtual std::unique_ptr<HolderBase> Clone() const = 0;
    virtual const std::type_info& Type() const = 0;
  };
  template <typename T>
  struct Holder final : HolderBase {
    template <typename U>
    explicit Holder(U&& value) : payload(std::forward<U>(value)) {}
    std::unique_ptr<HolderBase> Clone() const override {
      return std::make_unique<Holder<T>>(payload);
    }
    const std::type_info& Type() const override { return typeid(T); }
    T payload;
  };

  std::unique_ptr<HolderBase> holder_;
};

inline bool operator<(const CustomValue& a, const CustomValue& b) {
  return std::less<const CustomValue*>()(&a, &b);
}

}  // namespace flutter

#endif  // MORL_MESSAGING_CUSTOM_VALUE_H_
