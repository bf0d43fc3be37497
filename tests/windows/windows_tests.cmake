# Tests of the Windows build itself, run on the build machine.
find_program(MOBREVIST_OBJDUMP NAMES x86_64-w64-mingw32-objdump REQUIRED)
add_test(NAME Windows.ProgramsImportOnlySystemLibraries
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/system_imports_test.py ${CMAKE_BINARY_DIR}
                 ${MOBREVIST_OBJDUMP})
