# Runs velmora.exe under Wine case by case and compares its exit status and
# standard output with what each case expects.
#   cmake -DEMULATOR=... -DPROGRAM=... -DSTATE_DIR=... -DCASES=<simulated|wmi> -P windows_cli_test.cmake
# STATE_DIR is emptied first; the program keeps its records and the
# simulated sample there (VELMORA_STATE_DIR, as Windows spells the path).
file(REMOVE_RECURSE ${STATE_DIR})
file(MAKE_DIRECTORY ${STATE_DIR})
set(ENV{VELMORA_STATE_DIR} "Z:${STATE_DIR}")

# run(EXIT STDOUT_REGEX ARGS...): one case; STDOUT_REGEX must match the whole output.
function(run expected_exit expected_out)
    execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGN}
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REPLACE "\r\n" "\n" out "${out}")
    if(NOT status STREQUAL expected_exit OR NOT out MATCHES "^${expected_out}$")
        message(FATAL_ERROR "velmora ${ARGN}: exit ${status} (expected ${expected_exit})\n"
                            "standard output:\n${out}\nstandard error:\n${err}")
    endif()
    message(STATUS "velmora ${ARGN}: exit ${status}\n${out}${err}")
    set(last_out "${out}" PARENT_SCOPE)
    set(last_err "${err}" PARENT_SCOPE)
endfunction()

if(CASES STREQUAL "simulated")
    run(0 "Done!\n" --backend=simulated set 7 9.9.9.9 149.112.112.112)
    run(0 "9.9.9.9\n149.112.112.112\n" --backend=simulated show 7)
    run(0 "Done!\n" --backend=simulated restore 7)
    # Back on DHCP, which the simulated router answers with itself.
    run(0 "192.168.1.1\n0.0.0.0\n" --backend=simulated show 7)
    # Arguments arrive whole and in UTF-8 (main's own are in the ANSI code
    # page, which has no Greek), and UTF-8 leaves as it is.
    run(2 "" --backend=simulated set 7 "9.9.9.9 x" 149.112.112.112)
    set(file "${STATE_DIR}/adapters-Ωμέγα.json")
    file(WRITE ${file} [=[{"adapters": [{"index": 3, "description": "Ασύρματο δίκτυο"}]}]=])
    run(0 "3\tΑσύρματο δίκτυο\n" "--backend=simulated:Z:${file}" list)
    run(0 "7\tIntel\\(R\\) Ethernet Connection I219-V\n.*" --backend=simulated list)
    # What this build has no Windows form of answers "unavailable", and so
    # does the speed test where the system cannot cancel a query (Wine has
    # no DnsCancelQuery).
    # The help tells what this system's component does, in its own words.
    run(0 "Usage: velmora .*" --help)
    if(last_out MATCHES "NetworkManager|systemd|XDG_STATE_HOME|does not have yet"
       OR NOT last_out MATCHES "WMI keeps one list of DNS servers")
        message(FATAL_ERROR "velmora --help names another system's component:\n${last_out}")
    endif()
    run(4 "" flush)
    run(4 "" bench 192.0.2.1)
endif()

if(CASES STREQUAL "wmi")
    # Wine's own WMI lists the machine's interfaces; it has neither
    # SetDNSServerSearchOrder nor EnableDHCP, so changes end with the
    # component's failure message (and change nothing).
    run(0 "([0-9]+\t[^\n]*\n)+" list)
    string(REGEX MATCH "^[0-9]+" index "${last_out}")
    run(0 "[^\n]+\n[^\n]+\n" show ${index})
    foreach(change "set;${index};9.9.9.9;149.112.112.112" "dhcp;${index}")
        run(1 "" ${change})
        if(NOT last_err MATCHES "Status: Error! - ")
            message(FATAL_ERROR "velmora ${change}: no failure message of the component")
        endif()
    endforeach()
endif()
