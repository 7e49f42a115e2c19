ondivo_add_test(tst_liverules SOURCES tst_liverules.cpp)
