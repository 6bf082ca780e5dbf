# The MinGW C++ runtime DLLs. The library and its host share one libstdc++, as
# on Linux: the interface passes standard-library objects, and one runtime in
# the process means one allocator and one set of type information for both.
# Windows finds the DLLs beside the program, so they are copied beside the
# build's programs and installed beside the library's DLLs.
foreach(runtime_dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime_dll}
        OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    if(NOT IS_ABSOLUTE "${runtime_path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${runtime_dll} is")
    endif()
    file(COPY "${runtime_path}" DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    install(FILES "${runtime_path}" DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endforeach()
