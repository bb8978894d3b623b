# Reference GOST implementations used only by tests and benchmarks to check
# our own: libgcrypt and nettle.
find_package(PkgConfig REQUIRED)
pkg_check_modules(DZ_NETTLE REQUIRED IMPORTED_TARGET nettle)
pkg_check_modules(DZ_GCRYPT REQUIRED IMPORTED_TARGET libgcrypt)
set(DZ_GOST_REF_LIBS PkgConfig::DZ_GCRYPT PkgConfig::DZ_NETTLE)
