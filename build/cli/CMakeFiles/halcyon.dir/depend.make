# Empty dependencies file for halcyon.
# This may be replaced when dependencies are built.
