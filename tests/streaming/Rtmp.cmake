ondivo_add_test(tst_rtmprooms SOURCES tst_rtmprooms.cpp)
if(TARGET ondivo_simlib)
    ondivo_add_test(tst_rtmppage SOURCES tst_rtmppage.cpp LIBS ondivo_gui ondivo_simlib)
    # Screens for a visual check (not a test): run under xvfb-run with an output directory.
    add_executable(rtmp_screens rtmp_screens.cpp)
    target_link_libraries(rtmp_screens PRIVATE ondivo_testsupport ondivo_gui ondivo_simlib)
endif()
