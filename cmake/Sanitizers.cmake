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
# link libFuzzer's main. ZORVAT_FUZZ_SANITIZE picks the sanitizers it runs
# under: ASan + UBSan by default, "undefined" alone for long runs at two
# to three times the speed.
set(ZORVAT_FUZZ_SANITIZE "address,undefined" CACHE STRING "Sanitizers of the fuzz build")
if(ZORVAT_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,${ZORVAT_FUZZ_SANITIZE} -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer
                      -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/tests/fuzz/coverage_ignore.txt)
  add_link_options(-fsanitize=${ZORVAT_FUZZ_SANITIZE})
endif()
