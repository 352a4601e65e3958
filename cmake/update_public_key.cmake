# The update key built into the program: the ECDSA P-256 public key whose
# signature a version file must carry. Turns the PEM file a build names
# (SubjectPublicKeyInfo, as `openssl ec -pubout` writes it) into a header with
# its DER bytes, checked to be an uncompressed P-256 key; anything else stops
# the configuration. No file: a header without a key.
#
# Included: cartscope_write_update_key(PEM_FILE HEADER)
# As a script (for tests): cmake -DKEY=PEM_FILE -DHEADER=HEADER -P update_public_key.cmake

# The DER of every P-256 SubjectPublicKeyInfo with an uncompressed point up to
# the point's coordinates: SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 },
# BIT STRING { 04 ... } }.
set(CARTSCOPE_P256_KEY_PREFIX "3059301306072a8648ce3d020106082a8648ce3d03010703420004")

function(cartscope_write_update_key key header)
  set(bytes "")
  set(size 0)
  set(source "none")
  if(NOT key STREQUAL "")
    set(what "CARTSCOPE_UPDATE_PUBLIC_KEY (\"${key}\")")
    if(NOT EXISTS "${key}" OR IS_DIRECTORY "${key}")
      message(FATAL_ERROR "${what}: no such file")
    endif()
    find_program(CARTSCOPE_OPENSSL openssl)
    if(NOT CARTSCOPE_OPENSSL)
      message(FATAL_ERROR "${what}: the openssl command is needed to read the key, and was not found")
    endif()
    execute_process(COMMAND "${CARTSCOPE_OPENSSL}" pkey -pubin -inform PEM -in "${key}" -noout
      RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${what}: not a PEM public key (a private key is never built in); openssl says:\n${errors}")
    endif()
    # The point uncompressed, however the file has it; only EC keys have one.
    set(der "${header}.der")
    execute_process(
      COMMAND "${CARTSCOPE_OPENSSL}" pkey -pubin -inform PEM -in "${key}" -outform DER -ec_conv_form uncompressed -out "${der}"
      RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
    if(NOT status EQUAL 0)
      file(REMOVE "${der}")
      message(FATAL_ERROR "${what}: not an ECDSA P-256 (prime256v1) public key")
    endif()
    file(READ "${der}" hex HEX)
    file(REMOVE "${der}")
    string(LENGTH "${CARTSCOPE_P256_KEY_PREFIX}" prefix_length)
    string(LENGTH "${hex}" hex_length)
    if(hex_length GREATER_EQUAL prefix_length)
      string(SUBSTRING "${hex}" 0 ${prefix_length} prefix)
    else()
      set(prefix "")
    endif()
    if(NOT prefix STREQUAL CARTSCOPE_P256_KEY_PREFIX OR NOT hex_length EQUAL 182)
      message(FATAL_ERROR "${what}: not an ECDSA P-256 (prime256v1) public key")
    endif()
    math(EXPR size "${hex_length} / 2")
    string(REGEX REPLACE "(..)" "\\\\x\\1" bytes "${hex}")
    set(source "${key}")
  endif()
  file(WRITE "${header}.tmp"
    "// Made by cmake/update_public_key.cmake from ${source}.\n"
    "// The update key: SubjectPublicKeyInfo (DER) of an ECDSA P-256 key; empty: none.\n"
    "#pragma once\n\n"
    "#include <cstddef>\n\n"
    "namespace cartscope::update {\n"
    "inline constexpr char kBuiltInUpdateKey[] = \"${bytes}\";\n"
    "inline constexpr std::size_t kBuiltInUpdateKeySize = ${size};\n"
    "}  // namespace cartscope::update\n")
  file(COPY_FILE "${header}.tmp" "${header}" ONLY_IF_DIFFERENT)
  file(REMOVE "${header}.tmp")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  cartscope_write_update_key("${KEY}" "${HEADER}")
endif()
