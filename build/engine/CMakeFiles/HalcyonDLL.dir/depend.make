# Empty dependencies file for HalcyonDLL.
# This may be replaced when dependencies are built.
