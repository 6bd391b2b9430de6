# The values that differ between deployments, in one place: the maker's web site, the update feed,
# the store lookup, the help-desk account. Each is a cache entry, so a build sets them with -D or
# with set(... CACHE STRING "") lines in the untracked file deployment.local.cmake (or, as before,
# helpdesk.local.cmake) at the top of the source tree. An empty value means the build has none:
# the feature that needs it says so or hides itself instead of reaching for a host that is not
# ours.
foreach(_tarnwick_local deployment.local.cmake helpdesk.local.cmake)
    if(EXISTS "${CMAKE_SOURCE_DIR}/${_tarnwick_local}")
        include("${CMAKE_SOURCE_DIR}/${_tarnwick_local}")
    endif()
endforeach()

set(TARNWICK_MAKER_SITE "" CACHE STRING
    "The maker's web site, https://host without a trailing /; the privacy policy is <site>/policy and the licence agreement <site>/eula")
set(TARNWICK_UPDATE_FEED "" CACHE STRING
    "The update feed's https:// address; without one Check for Updates says updates are not configured")
set(TARNWICK_STORE_LOOKUP_SERVICE "" CACHE STRING
    "Base URL of the store lookup service (https://host/); without one a scan skips the store stage")
set(TARNWICK_HELPDESK_SUBDOMAIN "brenlow" CACHE STRING "Help-desk account subdomain")
set(TARNWICK_HELPDESK_TOKEN "" CACHE STRING "Help-desk account API token, never committed")
set(TARNWICK_HELPDESK_URL "" CACHE STRING
    "Help-desk base URL replacing https://<subdomain>.<service domain> (a local test desk)")

foreach(_tarnwick_value TARNWICK_MAKER_SITE TARNWICK_UPDATE_FEED TARNWICK_STORE_LOOKUP_SERVICE
        TARNWICK_HELPDESK_TOKEN)
    if("${${_tarnwick_value}}" STREQUAL "")
        message(STATUS "Deployment value ${_tarnwick_value} is not set")
    endif()
endforeach()
