#include "LogValue.h"

namespace tarnwick {

std::string LogValue::description() const {
    return std::visit(
        [](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<T, Describer>) {
                return value ? value() : std::string();
            } else {
                return describe(value);
            }
        },
        m_value);
}

}  // namespace tarnwick
