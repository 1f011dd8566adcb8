file(REMOVE_RECURSE
  "CMakeFiles/halcyon_platform.dir/machine_prefix.cpp.o"
  "CMakeFiles/halcyon_platform.dir/machine_prefix.cpp.o.d"
  "CMakeFiles/halcyon_platform.dir/path_map.cpp.o"
  "CMakeFiles/halcyon_platform.dir/path_map.cpp.o.d"
  "libhalcyon_platform.a"
  "libhalcyon_platform.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/halcyon_platform.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
