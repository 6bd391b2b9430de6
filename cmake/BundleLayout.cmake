# Lays the build out in the bundle shape that the programs read at run time:
#   Tarnwick.app/Contents/{Info.plist,MacOS/Tarnwick,Resources/}
#   Tarnwick.app/Contents/Library/SystemExtensions/<extension>.systemextension/Contents/...
set(TARNWICK_APP_BUNDLE "${CMAKE_BINARY_DIR}/Tarnwick.app")
set(TARNWICK_APP_CONTENTS "${TARNWICK_APP_BUNDLE}/Contents")
set(TARNWICK_EXTENSION_BUNDLE
    "${TARNWICK_APP_CONTENTS}/Library/SystemExtensions/${TARNWICK_EXTENSION_IDENTIFIER}.systemextension")
set(TARNWICK_EXTENSION_CONTENTS "${TARNWICK_EXTENSION_BUNDLE}/Contents")

# Where `cmake --install` puts the bundle. The polkit actions name the privileged programs there,
# and the application looks there for the root-owned copy of the one that moves it.
set(TARNWICK_INSTALL_BUNDLE "lib/tarnwick/${TARNWICK_BUNDLE_NAME}.app")
set(TARNWICK_INSTALL_CONTENTS "${TARNWICK_INSTALL_BUNDLE}/Contents")
set(TARNWICK_INSTALL_PROGRAMS "${CMAKE_INSTALL_PREFIX}/${TARNWICK_INSTALL_CONTENTS}/MacOS")

configure_file(${CMAKE_SOURCE_DIR}/cmake/templates/App-Info.plist.in
    ${TARNWICK_APP_CONTENTS}/Info.plist @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/templates/Extension-Info.plist.in
    ${TARNWICK_EXTENSION_CONTENTS}/Info.plist @ONLY)

# Puts a target's executable into a bundle's Contents/MacOS folder.
function(tarnwick_place_in_bundle target contents)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${contents}/MacOS")
endfunction()
