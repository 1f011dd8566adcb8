engine/CMakeFiles/halcyon_engine.dir/frame/module_state.cpp.o: \
 /work/main/engine/frame/module_state.cpp /usr/include/stdc-predef.h \
 /work/main/engine/frame/module_state.h
