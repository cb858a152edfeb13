# The suite's one version number is the project version (top CMakeLists.txt). Every program and
# the library carry it in a version resource made from one template, version.rc.in, with the
# file's own description; no maker's name, so the files read the same whoever ships them.
set(KBD_PRODUCT_NAME "POS keyboard service suite")

# kbd_version_resource(<target> "<description>")
function(kbd_version_resource target description)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
        set(KBD_VERSION_FILETYPE VFT_DLL)
        set(KBD_VERSION_FILE ${name}.dll)
    else()
        set(KBD_VERSION_FILETYPE VFT_APP)
        set(KBD_VERSION_FILE ${name}.exe)
    endif()
    set(KBD_VERSION_NAME ${name})
    set(KBD_VERSION_DESCRIPTION "${description}")
    set(KBD_VERSION_COMMAS
        "${PROJECT_VERSION_MAJOR}, ${PROJECT_VERSION_MINOR}, ${PROJECT_VERSION_PATCH}, 0")
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    set_property(GLOBAL APPEND PROPERTY KBD_VERSIONED_TARGETS ${target})
endfunction()
