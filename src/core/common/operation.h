// What the cores' operations take and give: answers that are asked for only when needed, and a
// typed result.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace gelvar {

// An input the caller may have to ask the user for. It is asked only once the mode allows the
// operation, so that the refusal comes first; nullopt when the user cancelled.
template <class T>
using Answer = std::function<std::optional<T>()>;
// A yes/no question, asked on the same terms.
using Confirm = std::function<bool()>;

template <class T>
Answer<T> Given(T value) {
  return [value] { return std::optional<T>(value); };
}
inline Confirm Yes() {
  return [] { return true; };
}

enum class Status {
  kDone,
  kStarted,    // a step or a reader runs; its end comes as an event
  kRefused,    // the message `code` has been added
  kCancelled,  // the answer was no, or out of range
  kFailed,     // `error` says why, as the window's box shows it; empty when the port has told already
};

struct Result {
  Status status;
  int code = 0;
  std::string error;

  static Result Done() { return {Status::kDone, 0, {}}; }
  static Result Started() { return {Status::kStarted, 0, {}}; }
  static Result Refused(int code) { return {Status::kRefused, code, {}}; }
  static Result Cancelled() { return {Status::kCancelled, 0, {}}; }
  static Result Failed(std::string error) { return {Status::kFailed, 0, std::move(error)}; }
  bool operator==(const Result&) const = default;
};

}  // namespace gelvar
