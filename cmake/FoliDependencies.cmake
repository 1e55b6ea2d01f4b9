# Finding the build's libraries. A missing one stops the configuration with
# a message that names the Debian package that brings it and the script
# that installs them all, instead of CMake's bare "not found".

set(FOLI_INSTALL_HINT
  "On Debian, install every build dependency as root with\n"
  "  scripts/install_debian_packages.sh scripts/debian-packages.txt\n"
  "(scripts/setup.sh runs it too).")

function(foli_missing what package)
  string(CONCAT hint ${FOLI_INSTALL_HINT})
  message(FATAL_ERROR "${what} was not found: it comes with the Debian package ${package}.\n${hint}")
endfunction()

# foli_require_pkg_config(PREFIX MODULE PACKAGE [MODULE PACKAGE ...])
# Finds the pkg-config modules as one imported target PkgConfig::PREFIX.
macro(foli_require_pkg_config prefix)
  find_package(PkgConfig QUIET)
  if(NOT PKG_CONFIG_FOUND)
    foli_missing("pkg-config" pkg-config)
  endif()
  set(_foli_pairs ${ARGN})
  set(_foli_modules "")
  while(_foli_pairs)
    list(POP_FRONT _foli_pairs _foli_module _foli_package)
    list(APPEND _foli_modules ${_foli_module})
    set(_foli_package_of_${_foli_module} ${_foli_package})
  endwhile()
  pkg_check_modules(${prefix} QUIET IMPORTED_TARGET ${_foli_modules})
  if(NOT ${prefix}_FOUND)
    # Name the first module that is missing and its package.
    foreach(_foli_module IN LISTS _foli_modules)
      pkg_check_modules(_FOLI_PROBE_${_foli_module} QUIET ${_foli_module})
      if(NOT _FOLI_PROBE_${_foli_module}_FOUND)
        foli_missing("The library ${_foli_module} (pkg-config)" ${_foli_package_of_${_foli_module}})
      endif()
    endforeach()
    message(FATAL_ERROR "The libraries ${_foli_modules} cannot be used together.")
  endif()
endmacro()

# foli_require_library(VARIABLE PACKAGE NAME [NAME ...]): find_library.
function(foli_require_library variable package)
  find_library(${variable} NAMES ${ARGN})
  if(NOT ${variable})
    list(JOIN ARGN " or " names)
    foli_missing("The library ${names}" ${package})
  endif()
endfunction()

# foli_require_header(VARIABLE PACKAGE HEADER): find_path.
function(foli_require_header variable package header)
  find_path(${variable} ${header})
  if(NOT ${variable})
    foli_missing("The header ${header}" ${package})
  endif()
endfunction()
