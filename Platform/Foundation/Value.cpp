#include "Value.h"

namespace tarnwick {

std::optional<double> Value::asReal() const {
    if (const auto* real = std::get_if<double>(&m_storage)) {
        return *real;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&m_storage)) {
        return static_cast<double>(*integer);
    }
    return std::nullopt;
}

const Value* Value::find(const std::string& key) const {
    const auto* dictionary = asDictionary();
    if (dictionary == nullptr) {
        return nullptr;
    }
    auto found = dictionary->find(key);
    return found == dictionary->end() ? nullptr : &found->second;
}

}  // namespace tarnwick
