# velmora-image.exe under Wine against the Linux build's velmora-image over
# the conformance corpus: for each file both must print the same `info`
# and exit alike, and `convert` must give the same surface bytes (.bgra),
# the same bitmap file (.bmp, the program's own writer) and, from the own
# PNG writer, the same PNG file. PNG written by the imaging service may
# differ in its bytes (GDI+'s encoder against the Linux library's) but
# not in what it holds: both are read back by the Linux program's own
# reader and compared as surface bytes.
#   cmake -DEMULATOR=... -DWINDOWS_TOOL=... -DLINUX_TOOL=... -DCORPUS=... -DWORK=...
#         -P corpus_compare_test.cmake
# Prints "SKIPPED:" (which the test takes as skipped) where the corpus or
# the Linux build is absent.
if(NOT IS_DIRECTORY "${CORPUS}/pngsuite" AND NOT IS_DIRECTORY "${CORPUS}/bmpsuite")
    message("SKIPPED: no conformance corpus under ${CORPUS}")
    return()
endif()
if(NOT EXISTS "${LINUX_TOOL}")
    message("SKIPPED: no Linux build of velmora-image at ${LINUX_TOOL} (build the Linux "
            "build first, as scripts/test and .ci/run do, or configure with "
            "-DVELMORA_LINUX_BUILD=<its folder>)")
    return()
endif()

file(GLOB_RECURSE files LIST_DIRECTORIES false "${CORPUS}/pngsuite/*.png" "${CORPUS}/bmpsuite/*.bmp")
list(SORT files)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/linux" "${WORK}/windows")

set(failures "")
# run(SIDE OUT_VAR STATUS_VAR ARGS...): one run of one side's program.
macro(run side out_var status_var)
    if("${side}" STREQUAL "windows")
        set(command ${EMULATOR} ${WINDOWS_TOOL})
    else()
        set(command ${LINUX_TOOL})
    endif()
    # Into files, not pipes: a Wine server the run starts keeps its pipes
    # open for seconds after the program has ended, and a pipe is read to
    # its end.
    execute_process(COMMAND ${command} ${ARGN} RESULT_VARIABLE ${status_var}
                    OUTPUT_FILE "${WORK}/out.txt" ERROR_FILE "${WORK}/err.txt")
    file(READ "${WORK}/out.txt" ${out_var})
    string(REPLACE "\r\n" "\n" ${out_var} "${${out_var}}")
endmacro()
# fail(TEXT...): the pieces of one line, joined.
macro(fail)
    string(APPEND failures "${name}: " ${ARGN} "\n")
endmacro()
# same_bytes(A B WHAT): the two files are both missing or byte for byte equal.
macro(same_bytes a b what)
    if(EXISTS "${a}" OR EXISTS "${b}")
        if(NOT EXISTS "${a}" OR NOT EXISTS "${b}")
            fail("${what}: written on one system only")
        else()
            file(SHA256 "${a}" hash_a)
            file(SHA256 "${b}" hash_b)
            if(NOT hash_a STREQUAL hash_b)
                fail("${what}: the bytes differ")
            endif()
        endif()
    endif()
endmacro()

set(compared 0)
foreach(file IN LISTS files)
    file(RELATIVE_PATH name "${CORPUS}" "${file}")
    string(REPLACE "/" "_" stem "${name}")
    run(linux linux_info linux_status info "${file}")
    run(windows windows_info windows_status info "${file}")
    if(NOT linux_info STREQUAL windows_info OR NOT linux_status STREQUAL windows_status)
        # Once in some hundred starts Wine fails to start the program at
        # all; a real difference repeats.
        run(windows windows_info windows_status info "${file}")
    endif()
    if(NOT linux_info STREQUAL windows_info OR NOT linux_status STREQUAL windows_status)
        fail("info: Linux exit ${linux_status} \"${linux_info}\", "
             "Windows exit ${windows_status} \"${windows_info}\"")
    endif()
    foreach(output "bgra" "bmp" "png;--png-encoder;own" "service.png;--png-encoder;auto")
        list(POP_FRONT output extension)
        foreach(side linux windows)
            run(${side} ignored ${side}_status convert "${file}"
                "${WORK}/${side}/${stem}.${extension}" ${output})
        endforeach()
        if(NOT linux_status STREQUAL windows_status)
            run(windows ignored windows_status convert "${file}"
                "${WORK}/windows/${stem}.${extension}" ${output})
        endif()
        if(NOT linux_status STREQUAL windows_status)
            fail("convert to .${extension}: Linux exit ${linux_status}, "
                 "Windows exit ${windows_status}")
        endif()
        if(extension STREQUAL "service.png")
            # What each service wrote, read back by the one same reader.
            foreach(side linux windows)
                if(EXISTS "${WORK}/${side}/${stem}.${extension}")
                    run(linux ignored read_status convert "${WORK}/${side}/${stem}.${extension}"
                        "${WORK}/${side}/${stem}.service.bgra" --no-imaging)
                endif()
            endforeach()
            same_bytes("${WORK}/linux/${stem}.service.bgra" "${WORK}/windows/${stem}.service.bgra"
                       "the service's PNG read back")
        else()
            same_bytes("${WORK}/linux/${stem}.${extension}" "${WORK}/windows/${stem}.${extension}"
                       "convert to .${extension}")
        endif()
    endforeach()
    math(EXPR compared "${compared} + 1")
endforeach()

if(failures)
    message(FATAL_ERROR "velmora-image on Windows and on Linux differ:\n${failures}")
endif()
message(STATUS "${compared} corpus files: info and convert agree")
