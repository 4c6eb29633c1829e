# Warning and sanitizer settings applied to every target of the project.
if(VANTOREL_ASAN AND VANTOREL_TSAN)
  message(FATAL_ERROR "VANTOREL_ASAN and VANTOREL_TSAN cannot be combined")
endif()

set(VANTOREL_SANITIZER_FLAGS "")
if(VANTOREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VANTOREL_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  # Instrument every library for coverage; the fuzz targets add the libFuzzer main. Undefined
  # behaviour stops the run like a crash, so the fuzzer keeps the input that caused it.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(VANTOREL_ASAN)
  set(VANTOREL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(VANTOREL_TSAN)
  set(VANTOREL_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()
if(VANTOREL_SANITIZER_FLAGS)
  add_compile_options(${VANTOREL_SANITIZER_FLAGS})
  add_link_options(${VANTOREL_SANITIZER_FLAGS})
endif()

# The headers of the current source folder, each at its place under the project root
# (receiver/reception.h) in an include folder that holds that folder's headers and nothing
# else. A target sees the headers of its own folder and of the folders whose targets it links:
# an #include of a layer above it or beside it fails to compile. Sets `out_var` to the
# interface target that carries the include folder (made once per source folder).
function(vantorel_folder_headers out_var)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(MAKE_C_IDENTIFIER "vantorel_headers_${folder}" headers_target)
  if(NOT TARGET ${headers_target})
    set(root ${CMAKE_BINARY_DIR}/include/${folder})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root}/${folder})
    file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    foreach(header ${headers})
      file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${folder}/${header} SYMBOLIC)
    endforeach()
    add_library(${headers_target} INTERFACE)
    target_include_directories(${headers_target} INTERFACE ${root})
  endif()
  set(${out_var} ${headers_target} PARENT_SCOPE)
endfunction()

# Warnings for every target; a target of the product (not a test, benchmark or fuzzer) also
# gets the headers of its own folder, and no other folder's but through what it links.
function(vantorel_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wimplicit-fallthrough
                         $<$<COMPILE_LANGUAGE:CXX>:-Wsuggest-override>)
  if(VANTOREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT folder MATCHES "^(tests|bench)(/|$)")
    vantorel_folder_headers(headers)
    target_link_libraries(${target} PUBLIC ${headers})
  endif()
endfunction()

# The runtime defaults of an address-sanitizer build (see sanitizer_defaults.cpp): every test
# program carries them, and the programs also record whole allocation stacks.
function(vantorel_sanitizer_defaults target)
  if(VANTOREL_ASAN)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/sanitizer_defaults.cpp)
  endif()
endfunction()

# A program (not a test): in an address-sanitizer build it carries the runtime defaults that
# let it run by hand without the suite's suppression file.
function(vantorel_program target)
  vantorel_settings(${target})
  vantorel_sanitizer_defaults(${target})
  if(VANTOREL_ASAN)
    target_compile_definitions(${target} PRIVATE VANTOREL_SANITIZED_PROGRAM)
  endif()
endfunction()
