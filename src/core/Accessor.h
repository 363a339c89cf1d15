#pragma once
// A callable of a fixed signature for the accessors in type information.
// Nearly every accessor is a small lambda that captures a member pointer or
// nothing: those are kept in place and called through one plain function
// pointer, without the copy/destroy manager and type identity that
// std::function makes for every lambda type (hundreds of them, a tenth of
// Setup.exe). Anything larger or with a non-trivial copy is kept on the
// heap and copied by a manager of its own.
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace qv {

namespace detail {
struct AccessorProbe {
  void Member();
};
}  // namespace detail

template <class Signature>
class TAccessor;

template <class R, class... A>
class TAccessor<R(A...)> {
  // Room for a member function pointer and one more pointer.
  struct Storage {
    alignas(8) unsigned char bytes[sizeof(&detail::AccessorProbe::Member) + sizeof(void*)];
  };

  template <class F>
  using EnableFor = std::enable_if_t<!std::is_same_v<std::decay_t<F>, TAccessor> &&
                                     !std::is_same_v<std::decay_t<F>, std::nullptr_t> &&
                                     std::is_invocable_r_v<R, const F&, A...>>;

 public:
  TAccessor() noexcept = default;
  TAccessor(std::nullptr_t) noexcept {}  // NOLINT: as std::function
  template <class F, class = EnableFor<F>>
  TAccessor(F f) {  // NOLINT: as std::function
    Set(std::move(f));
  }
  // Assigned in place: type information is built by assigning accessors to
  // the properties it adds, once per property of every class.
  template <class F, class = EnableFor<F>>
  TAccessor& operator=(F f) {
    Reset();
    Set(std::move(f));
    return *this;
  }
  TAccessor& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  TAccessor(const TAccessor& other) : invoke_(other.invoke_), manage_(other.manage_) {
    if (manage_ != nullptr)
      manage_(&storage_, &other.storage_);
    else
      storage_ = other.storage_;
  }
  TAccessor(TAccessor&& other) noexcept
      : invoke_(other.invoke_), manage_(other.manage_), storage_(other.storage_) {
    other.invoke_ = nullptr;
    other.manage_ = nullptr;
  }
  TAccessor& operator=(TAccessor other) noexcept {
    Swap(other);
    return *this;
  }
  ~TAccessor() { Reset(); }

  explicit operator bool() const noexcept { return invoke_ != nullptr; }
  R operator()(A... args) const { return invoke_(storage_, std::forward<A>(args)...); }

 private:
  template <class F>
  void Set(F f) {
    if constexpr (sizeof(F) <= sizeof(Storage) && alignof(F) <= alignof(Storage) &&
                  std::is_trivially_copyable_v<F> && std::is_trivially_destructible_v<F>) {
      ::new (static_cast<void*>(storage_.bytes)) F(std::move(f));
      invoke_ = [](const Storage& s, A... args) -> R {
        return (*std::launder(reinterpret_cast<const F*>(s.bytes)))(std::forward<A>(args)...);
      };
    } else {
      SetBoxed(storage_, new F(std::move(f)));
      invoke_ = [](const Storage& s, A... args) -> R {
        return (*BoxedOf<F>(s))(std::forward<A>(args)...);
      };
      manage_ = [](Storage* target, const Storage* source) {
        if (source != nullptr)
          SetBoxed(*target, new F(*BoxedOf<F>(*source)));
        else
          delete BoxedOf<F>(*target);
      };
    }
  }
  void Reset() noexcept {
    if (manage_ != nullptr)
      manage_(&storage_, nullptr);
    invoke_ = nullptr;
    manage_ = nullptr;
  }
  template <class F>
  static void SetBoxed(Storage& s, F* f) noexcept {
    std::memcpy(s.bytes, &f, sizeof f);
  }
  template <class F>
  static F* BoxedOf(const Storage& s) noexcept {
    F* f = nullptr;
    std::memcpy(&f, s.bytes, sizeof f);
    return f;
  }
  void Swap(TAccessor& other) noexcept {
    std::swap(invoke_, other.invoke_);
    std::swap(manage_, other.manage_);
    std::swap(storage_, other.storage_);
  }

  R (*invoke_)(const Storage&, A...) = nullptr;
  // Only for boxed callables: copies source into target, or deletes target's
  // callable when source is null.
  void (*manage_)(Storage* target, const Storage* source) = nullptr;
  Storage storage_{};
};

}  // namespace qv
