// Bound calls: minilib::Callback<void()> owns, shared with its copies, one
// binder holding a callable. Two process-wide counters ("BinderBase" and
// "CBChecker") count live binders and callbacks; at process exit each one that
// is above zero prints "*** Leaked objects detected: N instance(s) of class X".
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

namespace minilib {

namespace detail {
// Touches both counters so that their exit reports are set up before any
// object that holds callbacks (they report after such objects are gone).
void EnsureLeakCounters();
void CountBinder(int delta);
void CountCallback(int delta);
int LiveBinders();
int LiveCallbacks();
}  // namespace detail

class BinderBase {
 public:
  BinderBase() { detail::CountBinder(1); }
  virtual ~BinderBase() { detail::CountBinder(-1); }
  BinderBase(const BinderBase&) = delete;
  BinderBase& operator=(const BinderBase&) = delete;
};

// Holds a callable and the plain function that invokes it on this binder.
template <int Tag, typename Functor>
class Binder : public BinderBase {
 public:
  using Invoker = void (*)(BinderBase*);

  explicit Binder(Functor functor) : functor_(std::move(functor)) {}
  static void Invoke(BinderBase* self) { static_cast<Binder*>(self)->functor_(); }

 private:
  Functor functor_;
};

class CBChecker {
 public:
  CBChecker() { detail::CountCallback(1); }
  CBChecker(const CBChecker&) { detail::CountCallback(1); }
  CBChecker& operator=(const CBChecker&) = default;
  virtual ~CBChecker() { detail::CountCallback(-1); }
};

template <typename Signature>
class Callback;

template <>
class Callback<void()> : public CBChecker {
 public:
  template <typename Functor,
            typename = std::enable_if_t<!std::is_same_v<std::decay_t<Functor>, Callback>>>
  explicit Callback(Functor functor)
      : binder_(std::make_shared<Binder<0, std::decay_t<Functor>>>(std::move(functor))),
        invoke_(&Binder<0, std::decay_t<Functor>>::Invoke) {}

  Callback(const Callback&) = default;
  Callback(Callback&& other) noexcept : CBChecker(other), binder_(std::move(other.binder_)), invoke_(other.invoke_) {}
  Callback& operator=(const Callback&) = default;
  Callback& operator=(Callback&&) noexcept = default;
  ~Callback() override = default;

  void operator()() const { invoke_(binder_.get()); }

 private:
  std::shared_ptr<BinderBase> binder_;
  void (*invoke_)(BinderBase*);
};

}  // namespace minilib
