# Empty dependencies file for halcyon_support.
# This may be replaced when dependencies are built.
