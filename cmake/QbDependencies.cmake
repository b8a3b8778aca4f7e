# The libraries the core needs, found the same way on both systems: from
# Debian's packages on Linux, and from the static mingw builds of
# scripts/windows-deps.sh (QB_WINDOWS_DEPS) on Windows. Every user links the
# same target names:
#   SQLite::SQLite3  qb::rapidjson  CLI11::CLI11  qb::jsoncpp  qb::expat
# and, for the sample card's picture and archive coding only,
#   ZLIB::ZLIB  JPEG::JPEG  GIF::GIF
find_package(Threads REQUIRED)

if(WIN32)
  set(QB_WINDOWS_DEPS "" CACHE PATH "Prefix of the Windows libraries built by scripts/windows-deps.sh")
  if(NOT QB_WINDOWS_DEPS OR NOT EXISTS "${QB_WINDOWS_DEPS}/.complete")
    message(FATAL_ERROR "QB_WINDOWS_DEPS must name the folder scripts/windows-deps.sh printed")
  endif()
  list(PREPEND CMAKE_FIND_ROOT_PATH "${QB_WINDOWS_DEPS}")
  list(PREPEND CMAKE_PREFIX_PATH "${QB_WINDOWS_DEPS}")

  find_package(SQLite3 REQUIRED)
  find_package(expat CONFIG REQUIRED)
  find_package(jsoncpp CONFIG REQUIRED)

  add_library(qb::rapidjson INTERFACE IMPORTED)
  target_include_directories(qb::rapidjson INTERFACE "${QB_WINDOWS_DEPS}/include")
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 INTERFACE "${QB_WINDOWS_DEPS}/include")

  add_library(qb::expat INTERFACE IMPORTED)
  target_link_libraries(qb::expat INTERFACE expat::expat)
  target_compile_definitions(qb::expat INTERFACE XML_STATIC)
  add_library(qb::jsoncpp INTERFACE IMPORTED)
  target_link_libraries(qb::jsoncpp INTERFACE jsoncpp_static)
else()
  find_package(SQLite3 REQUIRED)
  find_package(CLI11 REQUIRED)
  find_package(RapidJSON REQUIRED)
  find_package(EXPAT REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(QB_JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)

  add_library(qb::rapidjson INTERFACE IMPORTED)
  if(TARGET RapidJSON)
    target_link_libraries(qb::rapidjson INTERFACE RapidJSON)
  else()
    target_include_directories(qb::rapidjson INTERFACE ${RapidJSON_INCLUDE_DIRS} ${RAPIDJSON_INCLUDE_DIRS})
  endif()
  add_library(qb::expat INTERFACE IMPORTED)
  target_link_libraries(qb::expat INTERFACE EXPAT::EXPAT)
  add_library(qb::jsoncpp INTERFACE IMPORTED)
  target_link_libraries(qb::jsoncpp INTERFACE PkgConfig::QB_JSONCPP)
endif()

find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)
find_package(GIF REQUIRED)
