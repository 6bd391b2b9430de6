#include "LogValue.h"

#include "Foundation/ValueJSON.h"

namespace tarnwick {

std::string LogValue::description() const {
    return std::visit(
        [](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<T, Describer>) {
                return value ? value() : std::string();
            } else if constexpr (std::is_same_v<T, Value::Dictionary>) {
                return jsonFromValue(Value(value))
                    .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
            } else {
                return describe(value);
            }
        },
        m_value);
}

}  // namespace tarnwick
