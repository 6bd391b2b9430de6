#pragma once

#include <memory>
#include <type_traits>
#include <utility>

namespace tarnwick {

template <typename Signature>
class FunctionRef;

// A non-owning reference to a callable, for a callee that calls it before returning. It costs no
// allocation, which keeps a log call that nobody takes cheap.
template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
public:
    template <typename F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> &&
             std::is_invocable_r_v<R, F&, Args...>)
        FunctionRef(F&& callable)  // NOLINT: implicit by design, like a function pointer
        : m_object(const_cast<void*>(static_cast<const void*>(std::addressof(callable))))
        , m_call([](void* object, Args... args) -> R {
            return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
        }) {}

    R operator()(Args... args) const { return m_call(m_object, std::forward<Args>(args)...); }

private:
    void* m_object;
    R (*m_call)(void*, Args...);
};

}  // namespace tarnwick
