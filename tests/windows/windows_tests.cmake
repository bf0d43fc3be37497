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

# mobrevist.exe itself: start-up, a recorded phone, the console through a pipe; with the
# Linux build's stand-ins (MOBREVIST_LINUX_BIN) also the phone's connection and transfers.
add_test(NAME Windows.ProgramStartsConnectsToAFakePhoneAndMovesFiles
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/startup_test.py ${CMAKE_BINARY_DIR}
                 ${PROJECT_SOURCE_DIR} $<TARGET_FILE:bridge_relay> $<TARGET_FILE:clipboard_peer>
                 "${MOBREVIST_LINUX_BIN}")
set_tests_properties(Windows.ProgramStartsConnectsToAFakePhoneAndMovesFiles PROPERTIES SKIP_RETURN_CODE 77
                     TIMEOUT 400 RESOURCE_LOCK "agent_ports;wine_desktop")

# The bridge client the start-up test puts beside the Windows program: it relays each
# command line to the Linux build's stand-in (MOBREVIST_LINUX_BIN), run by the test.
add_executable(bridge_relay ${CMAKE_CURRENT_LIST_DIR}/peers/bridge_relay.cpp)
target_link_libraries(bridge_relay PRIVATE ws2_32 shell32)
# Test installs have it as their bridge client (script_install::add_tool).
foreach(user test_e2e test_script)
  if(TARGET ${user})
    add_dependencies(${user} bridge_relay)
  endif()
endforeach()

# A Windows 7z.dll built from the codec library's source (scripts/build-7z-dll), beside the
# program (and so in its installer) and beside the archive tests.
if(MOBREVIST_7Z_DLL)
  configure_file(${MOBREVIST_7Z_DLL} ${CMAKE_BINARY_DIR}/tests/7z.dll COPYONLY)
  configure_file(${MOBREVIST_7Z_DLL} ${CMAKE_BINARY_DIR}/bin/7z.dll COPYONLY)
endif()

# The tray icon on a private X display. The tests that run the program itself use a Wine
# prefix of their own (wine_prefix.py), one at a time.
add_test(NAME Windows.TrayIconIsTakenByTheDesktopsNotificationArea
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/tray_test.py ${CMAKE_BINARY_DIR})
set_tests_properties(Windows.TrayIconIsTakenByTheDesktopsNotificationArea PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
                     RESOURCE_LOCK wine_desktop)

# Wine makes no dialog without a display driver: the file dialogs' test runs again on a
# private X display.
add_test(NAME Windows.FileDialogsAnsweredOnAPrivateDisplay
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/on_display.py ${CMAKE_BINARY_DIR}
                 $<TARGET_FILE:test_utilities> --gtest_filter=WindowsFileDialogs.*)
set_tests_properties(Windows.FileDialogsAnsweredOnAPrivateDisplay PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
                     RESOURCE_LOCK wine_desktop)

# The stand-in driver installer of the driver tests.
add_executable(installer_standin ${CMAKE_CURRENT_LIST_DIR}/peers/installer_standin.cpp)
add_dependencies(test_device installer_standin)
target_compile_definitions(test_device PRIVATE MOBREVIST_INSTALLER_STANDIN="$<TARGET_FILE:installer_standin>")
