// Results that read positively and cannot be dropped unseen.
#pragma once

#include <optional>
#include <utility>

namespace zur {

// A T, or the E that kept the operation from giving one. `if (result)` means
// it succeeded. A result that is deliberately ignored says so with
// static_cast<void>; any other dropped result is a compiler warning.
template <typename T, typename E>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  Result(E error) : error_(std::move(error)) {}

  explicit operator bool() const { return value_.has_value(); }
  const T& operator*() const { return *value_; }
  const T* operator->() const { return &*value_; }
  const E& error() const { return *error_; }

 private:
  std::optional<T> value_;
  std::optional<E> error_;
};

// Success, or the E that the operation failed with.
template <typename E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  Result(E error) : error_(std::move(error)) {}

  explicit operator bool() const { return !error_.has_value(); }
  const E& error() const { return *error_; }
  friend bool operator==(const Result&, const Result&) = default;

 private:
  std::optional<E> error_;
};

}  // namespace zur
