// The end of an owner's callbacks. An owner (a subsystem) hands the HTTP client, the panels and
// the background queue callbacks wrapped by its Lifetime; once it has ended its work (at quit)
// or gone, they do nothing when they come back. Main thread only.
#pragma once

#include <memory>
#include <utility>

namespace qv {

class Lifetime {
  public:
    Lifetime() = default;
    ~Lifetime() { end(); }
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    // From now on every callback this lifetime wrapped does nothing. Cannot be undone.
    void end() { *alive_ = false; }
    bool ended() const { return !*alive_; }

    // `fn`, to run only while this lifetime has not ended; whatever `fn` returns is dropped.
    template <typename Fn>
    auto guard(Fn fn) const {
        return [alive = alive_, fn = std::move(fn)](auto&&... args) mutable {
            if (*alive) fn(std::forward<decltype(args)>(args)...);
        };
    }

  private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv
