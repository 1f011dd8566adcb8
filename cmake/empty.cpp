// A shared library is assembled from its static core; this file gives CMake
// a source to attach the link to.
