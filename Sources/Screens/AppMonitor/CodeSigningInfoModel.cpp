#include "CodeSigningInfoModel.h"

#include "CodeSigning/StaticCode.h"

namespace tarnwick {

CodeSigningInfoModel::CodeSigningInfoModel(const std::string& path) {
    auto code = StaticCode::createWithPath(path);
    if (!code) {
        return;
    }
    const auto& information = code->signingInformation();
    if (information) {
        m_status.emplace(*information);
    }
}

}  // namespace tarnwick
