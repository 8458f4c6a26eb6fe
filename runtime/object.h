// The common root of every class with events, and the method pointer that events are made of.
#pragma once
#include <functional>
#include <utility>

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// A method pointer: code plus the object that receives the call. An unassigned one is skipped.
template <class Signature>
class TMethod;

template <class... Args>
class TMethod<void(Args...)> {
 public:
  TMethod() = default;
  TMethod(std::nullptr_t) {}
  template <class T>
  TMethod(T* object, void (T::*method)(Args...))
      : object_(object),
        call_([object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); }) {}
  // Any callable, for tests and adapters; `object` only identifies the receiver.
  template <class F>
  static TMethod FromCallable(F&& f, const void* object = nullptr) {
    TMethod m;
    m.call_ = std::forward<F>(f);
    m.object_ = object;
    return m;
  }

  explicit operator bool() const { return static_cast<bool>(call_); }
  const void* Object() const { return object_; }
  // Skips an unassigned method, as an event property does.
  void operator()(Args... args) const {
    if (call_) call_(std::forward<Args>(args)...);
  }

 private:
  const void* object_ = nullptr;
  std::function<void(Args...)> call_;
};

using TNotifyEvent = TMethod<void(TObject* Sender)>;
