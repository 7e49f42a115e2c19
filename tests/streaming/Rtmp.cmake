ondivo_add_test(tst_rtmprooms SOURCES tst_rtmprooms.cpp)
if(TARGET ondivo_simlib)
    ondivo_add_test(tst_rtmppage SOURCES tst_rtmppage.cpp LIBS ondivo_gui ondivo_simlib)
endif()
