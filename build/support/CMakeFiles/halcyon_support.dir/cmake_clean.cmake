file(REMOVE_RECURSE
  "CMakeFiles/halcyon_support.dir/files/file_ops.cpp.o"
  "CMakeFiles/halcyon_support.dir/files/file_ops.cpp.o.d"
  "CMakeFiles/halcyon_support.dir/ini/ini_store.cpp.o"
  "CMakeFiles/halcyon_support.dir/ini/ini_store.cpp.o.d"
  "libhalcyon_support.a"
  "libhalcyon_support.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/halcyon_support.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
