# Code signing: with a certificate, Horavane.exe, the uninstaller inside the setup and the setup
# are signed (Authenticode, SHA-256) with osslsigncode. The certificate comes from cache variables,
# which take their first value from environment variables of the same names:
#   HV_SIGN_PFX            the PKCS #12 file (certificate and private key)
#   HV_SIGN_PASSWORD_FILE  a file holding its password; without it the environment variable
#                          HV_SIGN_PASSWORD of the build (not of the configure) gives the password
#   HV_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server; empty (the default) signs without one
# The password is never stored in the build tree and never put on a command line: osslsigncode
# reads it from a file (-readpass). Everything is signed by one script, sign.cmake in the top build
# folder, configured from cmake/sign.cmake.in: `cmake -DHV_SIGN_FILE=<file> -P sign.cmake`.

set(HV_SIGN_PFX "$ENV{HV_SIGN_PFX}" CACHE FILEPATH
  "PKCS #12 file to sign Horavane.exe and the setup with (empty: unsigned)")
set(HV_SIGN_PASSWORD_FILE "$ENV{HV_SIGN_PASSWORD_FILE}" CACHE FILEPATH
  "File holding the certificate's password (empty: HV_SIGN_PASSWORD in the build's environment)")
set(HV_SIGN_TIMESTAMP_URL "$ENV{HV_SIGN_TIMESTAMP_URL}" CACHE STRING
  "RFC 3161 time-stamp server for the signatures (empty: no time stamp)")

# Sets HV_SIGN_SCRIPT (the configured signing script) when a certificate is given, and says in one
# line whether the build signs.
function(hv_configure_signing)
  unset(HV_SIGN_SCRIPT PARENT_SCOPE)
  if(NOT HV_SIGN_PFX)
    message(STATUS "Code signing: off (no certificate given; set HV_SIGN_PFX and HV_SIGN_PASSWORD "
                   "or HV_SIGN_PASSWORD_FILE to sign)")
    return()
  endif()
  if(NOT EXISTS "${HV_SIGN_PFX}")
    message(FATAL_ERROR "HV_SIGN_PFX: ${HV_SIGN_PFX} does not exist")
  endif()
  if(HV_SIGN_PASSWORD_FILE AND NOT EXISTS "${HV_SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "HV_SIGN_PASSWORD_FILE: ${HV_SIGN_PASSWORD_FILE} does not exist")
  endif()
  find_program(HV_OSSLSIGNCODE osslsigncode NO_CMAKE_FIND_ROOT_PATH)
  if(NOT HV_OSSLSIGNCODE)
    message(FATAL_ERROR "osslsigncode not found, and a certificate is given (HV_SIGN_PFX): "
                        "install osslsigncode (Debian: the package osslsigncode)")
  endif()

  set(_timestamp "no time stamp")
  if(HV_SIGN_TIMESTAMP_URL)
    set(_timestamp "time stamp from ${HV_SIGN_TIMESTAMP_URL}")
  endif()
  set(_password "HV_SIGN_PASSWORD at build time")
  if(HV_SIGN_PASSWORD_FILE)
    set(_password "password from ${HV_SIGN_PASSWORD_FILE}")
  endif()
  message(STATUS "Code signing: on with ${HV_SIGN_PFX} (SHA-256, ${_password}, ${_timestamp})")

  set(_script ${CMAKE_BINARY_DIR}/sign.cmake)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/sign.cmake.in ${_script} @ONLY)
  set(HV_SIGN_SCRIPT ${_script} PARENT_SCOPE)
endfunction()

# hv_sign_after_build(<target>): signs the target's file each time it is linked. A new certificate
# or other signing settings link it, and so sign it, again.
function(hv_sign_after_build target)
  if(NOT HV_SIGN_SCRIPT)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DHV_SIGN_FILE=$<TARGET_FILE:${target}> -P ${HV_SIGN_SCRIPT}
    COMMENT "Signing ${target}"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${HV_SIGN_PFX} ${HV_SIGN_SCRIPT})
endfunction()

hv_configure_signing()
