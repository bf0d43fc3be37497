# Tests of the Windows build itself, run on the build machine.
find_program(MOBREVIST_OBJDUMP NAMES x86_64-w64-mingw32-objdump REQUIRED)
add_test(NAME Windows.ProgramsImportOnlySystemLibraries
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/system_imports_test.py ${CMAKE_BINARY_DIR}
                 ${MOBREVIST_OBJDUMP})

# The installer of scripts/package-windows, made from a staged program folder and run under
# Wine (skipped without makensis or a Wine prefix).
add_test(NAME Windows.InstallerInstallsAndUninstallsExactlyItsFiles
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/installer_test.py ${PROJECT_SOURCE_DIR})
set_tests_properties(Windows.InstallerInstallsAndUninstallsExactlyItsFiles PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)

# The second Windows program of the clipboard tests.
add_executable(clipboard_peer ${CMAKE_CURRENT_LIST_DIR}/peers/clipboard_peer.cpp)
target_link_libraries(clipboard_peer PRIVATE shell32 user32)
add_dependencies(test_platform clipboard_peer)
target_compile_definitions(test_platform PRIVATE MOBREVIST_CLIPBOARD_PEER="$<TARGET_FILE:clipboard_peer>")

# mobrevist.exe itself: start-up, a recorded phone, the console through a pipe.
add_test(NAME Windows.ProgramStartsRecognisesAPhoneAndAnswersItsConsole
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/startup_test.py ${CMAKE_BINARY_DIR})
set_tests_properties(Windows.ProgramStartsRecognisesAPhoneAndAnswersItsConsole PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
