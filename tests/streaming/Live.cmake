ondivo_add_test(tst_liverules SOURCES tst_liverules.cpp)
if(TARGET ondivo_simlib)
    ondivo_add_test(tst_livepage SOURCES tst_livepage.cpp LIBS ondivo_gui ondivo_simlib)
endif()
