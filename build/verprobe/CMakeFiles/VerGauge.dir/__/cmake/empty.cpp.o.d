verprobe/CMakeFiles/VerGauge.dir/__/cmake/empty.cpp.o: \
 /work/main/cmake/empty.cpp /usr/include/stdc-predef.h
