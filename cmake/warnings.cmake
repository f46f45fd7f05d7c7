# Warnings are errors for our own targets; third-party code (googletest) is left alone.
function(zarvel_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /utf-8 /permissive-)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # GCC 12 warns falsely about overlapping copies in std::string's operator+ when it inlines it
    # at -O2 in C++20 (a known false positive, gone in GCC 13); the release build would not compile.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
  if(WIN32)
    # Windows 8: the oldest whose system DLLs export every function the program imports directly
    # (SetDefaultDllDirectories is the newest); anything newer is found with GetProcAddress.
    target_compile_definitions(${target} PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0602)
  endif()
endfunction()
