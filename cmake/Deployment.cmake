# The values that differ between deployments, in one place: the maker's web site, the update feed,
# the help-desk account and the hosts of the data services. Each is a cache entry, so a build sets
# them with -D. An empty value means the build has none: the feature that needs it says so or
# hides itself instead of reaching for a host that is not ours.
set(TARNWICK_MAKER_SITE "" CACHE STRING
    "The maker's web site, https://host without a trailing /; the privacy policy is <site>/policy and the licence agreement <site>/eula")
