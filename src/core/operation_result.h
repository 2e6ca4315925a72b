#pragma once
#include <string>
#include <utility>
#include <vector>

// What a long operation of the engine did: succeeded, failed, or stopped because a cancel was
// requested, with the readable errors (the same texts the log receives). An operation never
// reports success for work it did not do.
class COperationResult {
 public:
  enum class Outcome { kSucceeded, kFailed, kCancelled };

  static COperationResult Success() { return COperationResult(Outcome::kSucceeded, {}); }
  static COperationResult Failure(std::string error) { return COperationResult(Outcome::kFailed, {std::move(error)}); }
  static COperationResult Failure(std::vector<std::string> errors) {
    return COperationResult(Outcome::kFailed, std::move(errors));
  }
  static COperationResult Cancelled(std::string error) {
    return COperationResult(Outcome::kCancelled, {std::move(error)});
  }

  bool succeeded() const { return outcome_ == Outcome::kSucceeded; }
  bool cancelled() const { return outcome_ == Outcome::kCancelled; }
  Outcome outcome() const { return outcome_; }
  const std::vector<std::string>& errors() const { return errors_; }
  // The first error, or an empty text.
  std::string error() const { return errors_.empty() ? std::string() : errors_.front(); }
  void AddError(std::string error) { errors_.push_back(std::move(error)); }

 private:
  COperationResult(Outcome outcome, std::vector<std::string> errors) : outcome_(outcome), errors_(std::move(errors)) {}

  Outcome outcome_;
  std::vector<std::string> errors_;
};
