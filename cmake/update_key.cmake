# Turns TAVRIN_UPDATE_KEY into generated/update_key_pem.h (kUpdateKeyPem), refusing a missing key,
# one that is not a public key, and the test key in a release build.
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
