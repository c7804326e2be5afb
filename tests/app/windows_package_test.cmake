# Packages the Windows build as scripts/package --windows does and checks
# both packages: the portable ZIP holds the programs with zlib1.dll and the
# imaging DLL; the NSIS installer installs silently (/S) under Wine into a
# folder of the test's, with its Start menu shortcut, the installed program
# runs, and its uninstaller removes it all silently.
#   cmake -DCPACK=... -DBUILD=... -DEMULATOR=... -DWINESERVER=... -DWINEPREFIX=... -P windows_package_test.cmake
set(packages ${BUILD}/tests/app/package-test)
file(REMOVE_RECURSE ${packages})
execute_process(COMMAND ${CPACK} -B ${packages} WORKING_DIRECTORY ${BUILD}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB zip ${packages}/velmora-*-windows-*.zip)
file(GLOB installer ${packages}/velmora-*-windows-*.exe)
if(NOT zip OR NOT installer)
    message(FATAL_ERROR "cpack wrote no ZIP or no installer:\n${out}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip} OUTPUT_VARIABLE listing)
foreach(file velmora.exe velmora-image.exe velmora-form.exe zlib1.dll velmora-imaging.dll)
    if(NOT listing MATCHES "/bin/${file}\n")
        message(FATAL_ERROR "the ZIP lacks bin/${file}:\n${listing}")
    endif()
endforeach()

# wine: runs a Windows program and waits until every program it started
# has ended (an uninstaller hands its work to a copy of itself).
function(wine)
    execute_process(COMMAND ${EMULATOR} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                    ERROR_VARIABLE out)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${WINEPREFIX} ${WINESERVER} -w)
    set(status ${status} PARENT_SCOPE)
    set(out "${out}" PARENT_SCOPE)
endfunction()

set(folder ${WINEPREFIX}/drive_c/velmora-package-test)
set(menu "${WINEPREFIX}/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmora")
file(REMOVE_RECURSE ${folder})
wine(${installer} /S "/D=C:\\velmora-package-test")
foreach(file bin/velmora.exe bin/velmora-image.exe bin/velmora-form.exe bin/zlib1.dll
             bin/velmora-imaging.dll Uninstall.exe)
    if(NOT EXISTS ${folder}/${file})
        message(FATAL_ERROR "the installer did not install ${file} (exit ${status}):\n${out}")
    endif()
endforeach()
if(NOT EXISTS "${menu}/Velmora.lnk")
    message(FATAL_ERROR "the installer made no Start menu shortcut")
endif()
wine("C:\\velmora-package-test\\bin\\velmora.exe" --version)
if(NOT status EQUAL 0 OR NOT out MATCHES "velmora")
    message(FATAL_ERROR "the installed velmora.exe --version: exit ${status}\n${out}")
endif()

wine("C:\\velmora-package-test\\Uninstall.exe" /S)
if(EXISTS ${folder}/bin OR EXISTS "${menu}/Velmora.lnk")
    message(FATAL_ERROR "the uninstaller left the programs or the shortcut behind")
endif()
file(REMOVE_RECURSE ${folder} ${packages})
