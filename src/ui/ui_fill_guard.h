// A flag that says "the program fills these widgets": their change signals
// must not look like the operator's.
#pragma once

namespace zorvat {

// Sets `flag` for as long as it lives and restores it after, so guards nest.
class FillGuard {
  public:
    explicit FillGuard(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~FillGuard() { flag_ = old_; }
    FillGuard(const FillGuard&) = delete;
    FillGuard& operator=(const FillGuard&) = delete;

  private:
    bool& flag_;
    bool old_;
};

}  // namespace zorvat
