ondivo_add_test(tst_livepreview SOURCES tst_livepreview.cpp LIBS ondivo_gui)
