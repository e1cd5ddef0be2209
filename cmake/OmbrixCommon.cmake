# Settings every Ombrix target shares: language level, warnings, sanitizers.
find_package(PkgConfig REQUIRED)

add_library(ombrix_options INTERFACE)
target_compile_features(ombrix_options INTERFACE cxx_std_20)
# Warnings for our own targets only (directory scope), not for a project that embeds us.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wall> $<$<COMPILE_LANGUAGE:CXX>:-Wextra>
                    $<$<COMPILE_LANGUAGE:CXX>:-Wpedantic>)
target_include_directories(ombrix_options INTERFACE ${PROJECT_SOURCE_DIR}/Sources)
if(OMBRIX_SANITIZE)
  # GCC 12 reports uninitialised std::optional/std::variant storage that is not, only when the
  # sanitizers' instrumentation is in the way; the normal build keeps the warning.
  target_compile_options(ombrix_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
    $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  target_link_options(ombrix_options INTERFACE -fsanitize=address,undefined)
endif()

# Collects the .cpp files of the given folders (below Sources/). Files whose name ends in
# "AVX2" or "AESNI" are compiled for that instruction set; callers pick them at run time.
function(ombrix_collect_sources out)
  set(all)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/Sources/${dir}/*.cpp)
    list(APPEND all ${found})
  endforeach()
  foreach(src IN LISTS all)
    get_filename_component(stem ${src} NAME_WE)
    if(stem MATCHES "AVX2$")
      set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "-mavx2")
    elseif(stem MATCHES "AESNI$")
      set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "-maes;-msse4.1")
    endif()
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

# A static library of Qt code made of the .cpp and .h files of Sources/<name>, named as its
# folder; the headers are listed so that moc finds the classes that need it.
function(ombrix_add_qt_layer name)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  ombrix_collect_sources(sources ${name})
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${PROJECT_SOURCE_DIR}/Sources/${name}/${excluded})
  endforeach()
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/Sources/${name}/*.h)
  add_library(${name} STATIC ${sources} ${headers})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
endfunction()
