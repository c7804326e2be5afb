# velmora_windows_resources(TARGET DESCRIPTION EXECUTION_LEVEL)
# Gives a Windows program its resource script: the application icon (made
# from the artwork by app/CMakeLists.txt), the manifest and the version
# information from the project's version. An empty description takes the
# program's one line from the table below.
function(velmora_windows_resources target description level)
    if(description STREQUAL "")
        set(known
            "velmora-image|Inspect, convert and draw image files as Velmora's image surface does"
            "velmora-form|Read, draw and change form stores of image controls")
        foreach(entry IN LISTS known)
            string(REPLACE "|" ";" entry "${entry}")
            list(GET entry 0 name)
            if(name STREQUAL target)
                list(GET entry 1 description)
            endif()
        endforeach()
        if(description STREQUAL "")
            set(description "Velmora ${target}")
        endif()
    endif()
    get_property(icon GLOBAL PROPERTY VELMORA_WINDOWS_ICON)
    if(NOT icon)
        message(FATAL_ERROR "velmora_windows_resources: the icon is made in app/, before ${target}")
    endif()
    set(VELMORA_RC_NAME ${target})
    set(VELMORA_RC_DESCRIPTION "${description}")
    set(VELMORA_RC_EXECUTION_LEVEL ${level})
    set(VELMORA_RC_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
    set(VELMORA_RC_ICON ${icon})
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_rc)
    set(VELMORA_RC_MANIFEST ${dir}/${target}.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/app/win32/program.manifest.in ${VELMORA_RC_MANIFEST} @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/app/win32/program.rc.in ${dir}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${dir}/${target}.rc)
    set_source_files_properties(${dir}/${target}.rc PROPERTIES
        OBJECT_DEPENDS "${icon};${VELMORA_RC_MANIFEST}")
    add_dependencies(${target} velmora_windows_icon)
endfunction()
