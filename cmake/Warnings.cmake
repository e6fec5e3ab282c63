# One place for compiler flags that every target of ours shares.
add_library(flagrig_options INTERFACE)
target_compile_options(flagrig_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor -Wno-missing-field-initializers
  $<$<BOOL:${FLAGRIG_WERROR}>:-Werror>)
if(FLAGRIG_SANITIZE)
  target_compile_options(flagrig_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(flagrig_options INTERFACE -fsanitize=address,undefined)
endif()
if(FLAGRIG_TSAN)
  target_compile_options(flagrig_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(flagrig_options INTERFACE -fsanitize=thread)
endif()
# Main-loop-only entry points check their thread where a mistake should fail at once: debug and
# sanitizer builds. Release builds leave the check out.
target_compile_definitions(flagrig_options INTERFACE
  $<$<OR:$<CONFIG:Debug>,$<BOOL:${FLAGRIG_SANITIZE}>,$<BOOL:${FLAGRIG_TSAN}>>:FLAGRIG_CHECK_MAIN_THREAD>)
