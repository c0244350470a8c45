# The PNG decoder's fuzz target (included from fuzz/CMakeLists.txt): the decoder compiled here
# with coverage instrumentation, linked with the system's libpng.
find_package(PNG REQUIRED)
add_library(quorvel_fuzz_png_core STATIC ${CMAKE_SOURCE_DIR}/src/toolkit/PngDecoder.cpp
                                         ${CMAKE_SOURCE_DIR}/src/toolkit/Pixels.cpp)
target_include_directories(quorvel_fuzz_png_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(quorvel_fuzz_png_core PRIVATE ${QUORVEL_FUZZ_FLAGS} -fsanitize=fuzzer-no-link)
target_link_libraries(quorvel_fuzz_png_core PUBLIC PNG::PNG)

add_executable(fuzz_png fuzz_png.cpp)
target_compile_options(fuzz_png PRIVATE ${QUORVEL_FUZZ_FLAGS} -fsanitize=fuzzer ${QUORVEL_WARNINGS})
target_link_options(fuzz_png PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(fuzz_png PRIVATE quorvel_fuzz_png_core)

add_executable(fuzz_png_seeds make_png_seeds.cpp)
target_include_directories(fuzz_png_seeds PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(fuzz_png_seeds PRIVATE ${QUORVEL_WARNINGS})
target_compile_definitions(fuzz_png_seeds PRIVATE QUORVEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(fuzz_png_seeds PRIVATE PNG::PNG)
