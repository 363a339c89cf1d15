# qv_sign(TARGET): when the configuration names a certificate
# (QV_SIGN_PKCS12, a PKCS#12 file, and QV_SIGN_PASSWORD_FILE, a file holding
# its password), TARGET is signed with scripts/sign-image right after the
# steps that rewrite it; without one it stays unsigned. Call it after every
# other post-build step of TARGET. The password itself never enters the cache.
include_guard(GLOBAL)

set(QV_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file to sign the Windows images with (empty: unsigned)")
set(QV_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of QV_SIGN_PKCS12")
set_property(GLOBAL PROPERTY qv_sign_script ${CMAKE_CURRENT_LIST_DIR}/../scripts/sign-image)

if(QV_SIGN_PKCS12)
  foreach(file QV_SIGN_PKCS12 QV_SIGN_PASSWORD_FILE)
    if(NOT IS_ABSOLUTE "${${file}}" OR NOT EXISTS "${${file}}")
      message(FATAL_ERROR "${file} must be the absolute path of an existing file, not '${${file}}'")
    endif()
  endforeach()
  file(SHA256 ${QV_SIGN_PKCS12} qv_sign_certificate)
  set(qv_sign_identity "${QV_SIGN_PKCS12} ${qv_sign_certificate} ${QV_SIGN_PASSWORD_FILE}\n")
else()
  set(qv_sign_identity "unsigned\n")
endif()
# Signing happens after a link, so a link must follow any change of what
# signs: otherwise turning signing on would leave the images unsigned and up
# to date. Rewritten only when the text changes.
set(qv_sign_stamp ${CMAKE_BINARY_DIR}/signing.txt)
file(CONFIGURE OUTPUT ${qv_sign_stamp} CONTENT "${qv_sign_identity}" @ONLY)
set_property(GLOBAL PROPERTY qv_sign_stamp ${qv_sign_stamp})

function(qv_sign target)
  get_property(stamp GLOBAL PROPERTY qv_sign_stamp)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${stamp})
  if(NOT QV_SIGN_PKCS12)
    return()
  endif()
  get_property(script GLOBAL PROPERTY qv_sign_script)
  add_custom_command(
    TARGET ${target}
    POST_BUILD
    COMMAND bash ${script} ${QV_SIGN_PKCS12} ${QV_SIGN_PASSWORD_FILE} $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
