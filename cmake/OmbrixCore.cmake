# OmbrixCore: the engine, without Qt. Foundation (bytes, preconditions, stop requests) under
# Compression (gzip) under Crypto (the primitives) under Kdbx (the file format and its model).
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
find_package(ZLIB REQUIRED)
find_package(EXPAT REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(UTF8PROC REQUIRED IMPORTED_TARGET libutf8proc)

ombrix_collect_sources(OMBRIX_CORE_SOURCES
  OmbrixCore/Foundation OmbrixCore/Compression OmbrixCore/Crypto OmbrixCore/Kdbx)
add_library(OmbrixCore STATIC ${OMBRIX_CORE_SOURCES})
target_link_libraries(OmbrixCore
  PUBLIC ombrix_options
  PRIVATE OpenSSL::Crypto ZLIB::ZLIB EXPAT::EXPAT PkgConfig::UTF8PROC Threads::Threads)
