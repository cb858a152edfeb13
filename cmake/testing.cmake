# GoogleTest: the native build uses Debian's packaged library; the Windows build compiles
# Debian's GoogleTest sources with MinGW so the same unit tests also run under Wine.
if(WIN32)
    if(NOT TARGET gtest)
        set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
        # Third-party code: our warning flags are not its business.
        target_compile_options(gtest PRIVATE -w)
        target_compile_options(gtest_main PRIVATE -w)
    endif()
    set(KBD_GTEST_LIBS gtest gtest_main)
else()
    find_package(GTest REQUIRED)
    set(KBD_GTEST_LIBS GTest::gtest GTest::gtest_main)
    include(GoogleTest)
endif()

# kbd_unit_test(name SOURCES ... LIBS ...): one GoogleTest executable; natively each case is
# its own ctest test, under Wine the executable runs as one test to keep start-ups few.
function(kbd_unit_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} ${KBD_GTEST_LIBS})
    if(WIN32)
        add_test(NAME ${name} COMMAND ${name})
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30)
    endif()
endfunction()
