file(REMOVE_RECURSE
  "CMakeFiles/vergauge_core.dir/exports.cpp.o"
  "CMakeFiles/vergauge_core.dir/exports.cpp.o.d"
  "libvergauge_core.a"
  "libvergauge_core.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/vergauge_core.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
