# Libraries that parts of quarvel_objs use when the target has them:
# OpenSSL's libcrypto (SHA-1, for hashed leaked-password lists) and ICU's
# common library (NFKC, for the NIST verdict's length). Each is probed by
# linking a small program with the target's flags, so that a 32-bit build
# without the i386 packages turns the part off instead of failing to link.
# Sets QUARVEL_OPTIONAL_LIBRARIES for the targets made of quarvel_objs.
include(CMakePushCheckState)
include(CheckCXXSourceCompiles)

set(QUARVEL_OPTIONAL_LIBRARIES "")

option(QUARVEL_WITH_BREACH_LISTS "Hashed leaked-password lists (needs libssl-dev)" ON)
set(QUARVEL_HAVE_SHA1 0)
# Links a SHA-1 call against the library (a target or a file) in lib.
function(quarvel_probe_sha1 lib result)
  cmake_push_check_state(RESET)
  set(CMAKE_REQUIRED_LIBRARIES ${lib})
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles([[
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>
int main() {
  unsigned char d[SHA_DIGEST_LENGTH];
  SHA_CTX c;
  SHA1_Init(&c);
  SHA1_Update(&c, "x", 1);
  SHA1_Final(d, &c);
  return d[0];
}]] ${result})
  cmake_pop_check_state()
endfunction()
if(QUARVEL_WITH_BREACH_LISTS)
  find_package(OpenSSL COMPONENTS Crypto QUIET)
  if(OpenSSL_FOUND)
    quarvel_probe_sha1(OpenSSL::Crypto QUARVEL_SHA1_LINKS)
  endif()
  if(QUARVEL_SHA1_LINKS)
    set(QUARVEL_HAVE_SHA1 1)
    list(APPEND QUARVEL_OPTIONAL_LIBRARIES OpenSSL::Crypto)
  else()
    # FindOpenSSL takes its hints from pkg-config, which names the host's
    # library in a 32-bit build: look in the target's own library folders.
    find_library(QUARVEL_CRYPTO_LIBRARY crypto)
    if(QUARVEL_CRYPTO_LIBRARY)
      quarvel_probe_sha1(${QUARVEL_CRYPTO_LIBRARY} QUARVEL_SHA1_LINKS_TARGET_ARCH)
    endif()
    if(QUARVEL_SHA1_LINKS_TARGET_ARCH)
      set(QUARVEL_HAVE_SHA1 1)
      list(APPEND QUARVEL_OPTIONAL_LIBRARIES ${QUARVEL_CRYPTO_LIBRARY})
    endif()
  endif()
endif()
if(NOT QUARVEL_HAVE_SHA1)
  message(STATUS "Hashed leaked-password lists not supported in this build: no libcrypto "
    "links for this target (libssl-dev; a 32-bit build needs libssl-dev:i386), or "
    "QUARVEL_WITH_BREACH_LISTS=OFF. Configured lists then fail to open (1003).")
endif()

set(QUARVEL_HAVE_ICU 0)
find_package(ICU COMPONENTS uc QUIET)
if(ICU_FOUND)
  cmake_push_check_state(RESET)
  set(CMAKE_REQUIRED_LIBRARIES ICU::uc)
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles([[
#include <unicode/unorm2.h>
int main() {
  UErrorCode status = U_ZERO_ERROR;
  return unorm2_getNFKCInstance(&status) != nullptr ? 0 : 1;
}]] QUARVEL_ICU_LINKS)
  cmake_pop_check_state()
  if(QUARVEL_ICU_LINKS)
    set(QUARVEL_HAVE_ICU 1)
    list(APPEND QUARVEL_OPTIONAL_LIBRARIES ICU::uc)
  endif()
endif()
if(NOT QUARVEL_HAVE_ICU)
  message(STATUS "No ICU for this target (libicu-dev; 32 bits: libicu-dev:i386): the NIST "
    "verdict counts a password's bytes, not its NFKC characters")
endif()

target_compile_definitions(quarvel_objs PRIVATE
  QUARVEL_HAVE_SHA1=${QUARVEL_HAVE_SHA1} QUARVEL_HAVE_ICU=${QUARVEL_HAVE_ICU})
if(QUARVEL_HAVE_ICU)
  target_include_directories(quarvel_objs PRIVATE ${ICU_INCLUDE_DIRS})
endif()
