file(REMOVE_RECURSE
  "../bin/halcyon"
  "../bin/halcyon.pdb"
  "CMakeFiles/halcyon.dir/command.cpp.o"
  "CMakeFiles/halcyon.dir/command.cpp.o.d"
  "CMakeFiles/halcyon.dir/main.cpp.o"
  "CMakeFiles/halcyon.dir/main.cpp.o.d"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/halcyon.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
