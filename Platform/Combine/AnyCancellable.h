#pragma once

#include <functional>
#include <vector>

namespace tarnwick {

// Ends a subscription when it is cancelled or destroyed, whichever comes first. Owners keep their
// tokens as members so that a subscription never outlives the object that its receiver refers to.
class AnyCancellable {
public:
    AnyCancellable() = default;
    explicit AnyCancellable(std::function<void()> cancel);
    ~AnyCancellable();

    AnyCancellable(AnyCancellable&& other) noexcept;
    AnyCancellable& operator=(AnyCancellable&& other) noexcept;
    AnyCancellable(const AnyCancellable&) = delete;
    AnyCancellable& operator=(const AnyCancellable&) = delete;

    // Safe to call more than once; only the first call does anything.
    void cancel();
    // Hands the token to a bag of tokens that lives as long as its owner.
    void store(std::vector<AnyCancellable>& in) &&;

private:
    std::function<void()> m_cancel;
};

}  // namespace tarnwick
