# Empty dependencies file for halcyon_platform.
# This may be replaced when dependencies are built.
