#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace tarnwick {

// Asks the user for files. The callback gets the chosen files, or none when the user cancelled.
class KVBFileSelectionManager {
public:
    using Callback = std::function<void(std::vector<std::filesystem::path>)>;

    virtual ~KVBFileSelectionManager() = default;
    virtual void selectFilesWithCallback(Callback callback) = 0;
};

}  // namespace tarnwick
