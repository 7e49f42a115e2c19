ondivo_add_test(tst_liverules SOURCES tst_liverules.cpp)
if(TARGET ondivo_simlib)
    ondivo_add_test(tst_livepage SOURCES tst_livepage.cpp LIBS ondivo_gui ondivo_simlib)
endif()
if(TARGET ondivo_simlib)
    # Screens for a visual check (not a test): run under xvfb-run with an output directory.
    add_executable(live_screens live_screens.cpp)
    target_link_libraries(live_screens PRIVATE ondivo_testsupport ondivo_gui ondivo_simlib)
endif()
