# Warning and sanitizer settings applied to every target of the project.
if(VANTOREL_ASAN AND VANTOREL_TSAN)
  message(FATAL_ERROR "VANTOREL_ASAN and VANTOREL_TSAN cannot be combined")
endif()

set(VANTOREL_SANITIZER_FLAGS "")
if(VANTOREL_ASAN)
  set(VANTOREL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(VANTOREL_TSAN)
  set(VANTOREL_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()
if(VANTOREL_SANITIZER_FLAGS)
  add_compile_options(${VANTOREL_SANITIZER_FLAGS})
  add_link_options(${VANTOREL_SANITIZER_FLAGS})
endif()

function(vantorel_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wimplicit-fallthrough
                         $<$<COMPILE_LANGUAGE:CXX>:-Wsuggest-override>)
  if(VANTOREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
