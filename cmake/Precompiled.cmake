# Nearly every source parses the same platform and library headers first, and
# parsing them costs most of its compile time: one precompiled header, made once
# by its owner target, serves every C++ target of the folders given.
#
# quelvar_reuse_precompiled_header(<owner> <folder>...): every library and
# program defined in the folders and below them, C++ only, reuses <owner>'s,
# unless its DISABLE_PRECOMPILE_HEADERS is set.
function(quelvar_reuse_precompiled_header owner)
    foreach(folder ${ARGN})
        # GoogleTest's own sources build from outside the project, with flags of their own.
        get_filename_component(folder ${folder} ABSOLUTE)
        string(FIND "${folder}/" "${PROJECT_SOURCE_DIR}/" inside)
        if(NOT inside EQUAL 0)
            continue()
        endif()
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target ${targets})
            get_target_property(type ${target} TYPE)
            get_target_property(imported ${target} IMPORTED)
            get_target_property(disabled ${target} DISABLE_PRECOMPILE_HEADERS)
            if(target STREQUAL owner OR imported OR disabled
               OR NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|EXECUTABLE)$")
                continue()
            endif()
            get_target_property(sources ${target} SOURCES)
            set(c_sources ${sources})
            list(FILTER c_sources INCLUDE REGEX "\\.c$")
            list(FILTER sources INCLUDE REGEX "\\.cpp$")
            if(sources AND NOT c_sources)
                target_precompile_headers(${target} REUSE_FROM ${owner})
            endif()
        endforeach()
        get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
        if(subfolders)
            quelvar_reuse_precompiled_header(${owner} ${subfolders})
        endif()
    endforeach()
endfunction()
