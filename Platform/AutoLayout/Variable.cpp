#include "AutoLayout/Variable.h"

namespace tarnwick::autolayout {

Variable::Variable(std::string name) : m_data(std::make_shared<Data>(Data{std::move(name), 0})) {}

}  // namespace tarnwick::autolayout
