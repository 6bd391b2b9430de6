#pragma once

#include "CodeSigningInfoStatus.h"

#include <optional>
#include <string>

namespace tarnwick {

// The signing information of an application bundle, read from its executable's embedded
// signature; no status when the bundle cannot be read as signed code (unsigned, unreadable,
// malformed). Nothing here is verified: see CodeSignatureInfo.
class CodeSigningInfoModel {
public:
    explicit CodeSigningInfoModel(const std::string& path);

    const std::optional<CodeSigningInfoStatus>& status() const { return m_status; }

private:
    std::optional<CodeSigningInfoStatus> m_status;
};

}  // namespace tarnwick
