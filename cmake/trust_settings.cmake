# The trust settings of a build, each refused when a release (TAVRIN_RELEASE) would be
# open to anyone:
# - TAVRIN_UPDATE_KEY becomes generated/update_key_pem.h (kUpdateKeyPem); a missing key, one
#   that is not a public key, and the test key in a release build are refused;
# - TAVRIN_SITE_LOCK becomes generated/site_lock_list.h (kSiteLock); a release build must list
#   its own sites, without "file:" and without plain http to a host other than this machine;
# - TAVRIN_MIN_SERIAL becomes generated/update_floor.h (kMinimumSerial), the lowest serial the
#   updater installs on any machine; a release build must set it (test builds take 0).
if(NOT EXISTS "${TAVRIN_UPDATE_KEY}")
  message(FATAL_ERROR "TAVRIN_UPDATE_KEY: no file ${TAVRIN_UPDATE_KEY}")
endif()
file(READ "${TAVRIN_UPDATE_KEY}" tavrin_update_key_pem)
if(NOT tavrin_update_key_pem MATCHES "-----BEGIN PUBLIC KEY-----")
  message(FATAL_ERROR "TAVRIN_UPDATE_KEY: ${TAVRIN_UPDATE_KEY} holds no PEM public key")
endif()
file(READ "${CMAKE_SOURCE_DIR}/tests/keys/test-rsa3072.pub.pem" tavrin_test_key_pem)
if(TAVRIN_RELEASE AND tavrin_update_key_pem STREQUAL tavrin_test_key_pem)
  message(FATAL_ERROR "TAVRIN_UPDATE_KEY: a release build must not use the test key")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/update_key_pem.h.in
               ${CMAKE_BINARY_DIR}/generated/update_key_pem.h @ONLY)

string(REPLACE "\"" "" tavrin_site_lock "${TAVRIN_SITE_LOCK}")
if(TAVRIN_RELEASE)
  if(tavrin_site_lock STREQUAL "")
    message(FATAL_ERROR "TAVRIN_SITE_LOCK: a release build must list the sites the control serves")
  endif()
  foreach(entry IN LISTS tavrin_site_lock)
    if(entry MATCHES "^file:")
      message(FATAL_ERROR "TAVRIN_SITE_LOCK: a release build must not allow local pages (${entry})")
    endif()
    if(entry MATCHES "^http://" AND NOT entry MATCHES "^http://(127\\.0\\.0\\.1|localhost|\\[::1\\])(:|$)")
      message(FATAL_ERROR "TAVRIN_SITE_LOCK: plain http to another machine can be faked on the way (${entry}); use https")
    endif()
  endforeach()
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/site_lock_list.h.in
               ${CMAKE_BINARY_DIR}/generated/site_lock_list.h @ONLY)

set(tavrin_min_serial "${TAVRIN_MIN_SERIAL}")
if(tavrin_min_serial STREQUAL "" AND NOT TAVRIN_RELEASE)
  set(tavrin_min_serial 0)
endif()
string(LENGTH "${tavrin_min_serial}" tavrin_min_serial_digits)
if(NOT tavrin_min_serial MATCHES "^(0|[1-9][0-9]*)$" OR tavrin_min_serial_digits GREATER 19)
  message(FATAL_ERROR "TAVRIN_MIN_SERIAL: '${TAVRIN_MIN_SERIAL}' is not a decimal serial; a release build must set it to the serial of its release")
endif()
if(TAVRIN_RELEASE AND tavrin_min_serial STREQUAL "0")
  message(FATAL_ERROR "TAVRIN_MIN_SERIAL: a release build must set the lowest serial it installs (the serial of its release)")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/update_floor.h.in
               ${CMAKE_BINARY_DIR}/generated/update_floor.h @ONLY)
