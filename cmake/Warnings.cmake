# One warning set for every target of the project.
add_library(zorvat_warnings INTERFACE)
if(MSVC)
  target_compile_options(zorvat_warnings INTERFACE /W4 $<$<BOOL:${ZORVAT_WERROR}>:/WX>)
else()
  # Designated initializers leave fields to their defaults on purpose; GCC
  # before 14 reports each such field (-Wmissing-field-initializers).
  target_compile_options(zorvat_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough -Wno-missing-field-initializers
    $<$<BOOL:${ZORVAT_WERROR}>:-Werror>)
endif()
# GCC 12 reports -Wrestrict inside std::string's operator+ at -O3 (a known
# false positive of that release); it is not about our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(zorvat_warnings INTERFACE -Wno-restrict)
endif()
