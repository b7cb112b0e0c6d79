# Gcrypt::Gcrypt: libgcrypt as a shared library (Linux: libgcrypt.so; mingw:
# the import library of libgcrypt-20.dll, never the static archive).
find_path(GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
if(WIN32)
  find_library(GCRYPT_LIBRARY NAMES libgcrypt.dll.a REQUIRED)
  # The DLLs the Windows programs load, copied beside them.
  find_file(GCRYPT_DLL libgcrypt-20.dll PATH_SUFFIXES bin REQUIRED)
  find_file(GPG_ERROR_DLL libgpg-error-0.dll PATH_SUFFIXES bin REQUIRED)
  set(REFLINT_GCRYPT_DLLS ${GCRYPT_DLL} ${GPG_ERROR_DLL})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  file(COPY ${REFLINT_GCRYPT_DLLS} DESTINATION ${CMAKE_BINARY_DIR}/bin)
else()
  find_library(GCRYPT_LIBRARY NAMES gcrypt REQUIRED)
endif()
add_library(Gcrypt::Gcrypt UNKNOWN IMPORTED)
set_target_properties(Gcrypt::Gcrypt PROPERTIES IMPORTED_LOCATION ${GCRYPT_LIBRARY}
                                                INTERFACE_INCLUDE_DIRECTORIES ${GCRYPT_INCLUDE_DIR})
