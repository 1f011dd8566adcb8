langsel/CMakeFiles/MuiChooser.dir/__/cmake/empty.cpp.o: \
 /work/main/cmake/empty.cpp /usr/include/stdc-predef.h
