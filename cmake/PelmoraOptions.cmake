# pelmora_options: the one INTERFACE target every Pelmora target links. It carries the language
# standard, the warnings and Qt's safety defines, so no target sets its own.
add_library(pelmora_options INTERFACE)
target_compile_features(pelmora_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

target_compile_options(pelmora_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wimplicit-fallthrough -Wcast-qual -Wformat=2)
if(PELMORA_WARNINGS_AS_ERRORS)
  target_compile_options(pelmora_options INTERFACE -Werror)
endif()

# Text never converts silently between bytes and QString: the settings files are bytes in the
# ANSI code page, and every conversion goes through the codec port.
target_compile_definitions(pelmora_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_NO_JAVA_STYLE_ITERATORS
  QT_USE_QSTRINGBUILDER)

# A fuzzing build instruments every library for coverage, so the fuzz targets can link them as
# they are; the targets themselves add libFuzzer's main.
if(PELMORA_BUILD_FUZZ)
  target_compile_options(pelmora_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(pelmora_options INTERFACE -fsanitize=address,undefined)
endif()

if(PELMORA_SANITIZE)
  target_compile_options(pelmora_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(pelmora_options INTERFACE -fsanitize=address,undefined)
endif()
