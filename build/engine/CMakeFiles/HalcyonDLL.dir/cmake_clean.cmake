file(REMOVE_RECURSE
  "CMakeFiles/HalcyonDLL.dir/__/cmake/empty.cpp.o"
  "CMakeFiles/HalcyonDLL.dir/__/cmake/empty.cpp.o.d"
  "libHalcyonDLL.pdb"
  "libHalcyonDLL.so"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/HalcyonDLL.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
