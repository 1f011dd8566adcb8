file(REMOVE_RECURSE
  "CMakeFiles/VerGauge.dir/__/cmake/empty.cpp.o"
  "CMakeFiles/VerGauge.dir/__/cmake/empty.cpp.o.d"
  "libVerGauge.pdb"
  "libVerGauge.so"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/VerGauge.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
