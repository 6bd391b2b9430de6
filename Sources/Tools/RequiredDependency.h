#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace tarnwick {

// A model made without one of its services fails where it is made, naming what is missing,
// rather than quietly reaching for a process-wide instance that tests and the composition root
// never meant it to share.
template <typename T>
T& requiredDependency(T* dependency, const char* owner, const char* member) {
    if (dependency == nullptr) {
        throw std::invalid_argument(std::string(owner) + " needs its " + member);
    }
    return *dependency;
}

template <typename T>
std::shared_ptr<T> requiredDependency(std::shared_ptr<T> dependency, const char* owner,
                                      const char* member) {
    if (!dependency) {
        throw std::invalid_argument(std::string(owner) + " needs its " + member);
    }
    return dependency;
}

template <typename F>
F requiredFunction(F function, const char* owner, const char* member) {
    if (!function) {
        throw std::invalid_argument(std::string(owner) + " needs its " + member);
    }
    return function;
}

}  // namespace tarnwick
