#include "AppStream/AppStreamCatalog.h"
#include "FuzzEntries.h"

#include <set>
#include <string>
#include <string_view>

namespace tarnwick::fuzz {

// The parsing is the library's; what is ours is cutting a catalog down to the wanted components and
// turning what the library gives into components (the description's markup, the languages)
// without trusting any of it. The library keeps a few bytes of some broken components for good
// (see fuzz/lsan.supp).
int fuzzAppStream(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)AppStreamCatalog::parse(bytes, false, false);
    (void)AppStreamCatalog::parse(bytes, true, false);
    const std::set<std::string> wanted = {"org.example.Viewer", "viewer"};
    (void)AppStreamCatalog::parse(AppStreamCatalog::wantedXMLComponents(bytes, wanted), true,
                                  false);
    (void)AppStreamCatalog::parse(AppStreamCatalog::wantedYAMLDocuments(bytes, wanted), true, true);
    return 0;
}

}  // namespace tarnwick::fuzz
