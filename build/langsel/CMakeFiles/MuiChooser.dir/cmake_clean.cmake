file(REMOVE_RECURSE
  "CMakeFiles/MuiChooser.dir/__/cmake/empty.cpp.o"
  "CMakeFiles/MuiChooser.dir/__/cmake/empty.cpp.o.d"
  "libMuiChooser.pdb"
  "libMuiChooser.so"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/MuiChooser.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
