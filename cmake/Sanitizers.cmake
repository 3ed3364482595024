# ZORVAT_SANITIZE=address -> ASan + UBSan; ZORVAT_SANITIZE=thread -> TSan.
if(ZORVAT_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(ZORVAT_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT ZORVAT_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ZORVAT_SANITIZE must be empty, 'address' or 'thread'")
endif()

# The fuzz build instruments everything for coverage; only the fuzz targets
# link libFuzzer's main.
if(ZORVAT_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
