# Empty dependencies file for MuiChooser.
# This may be replaced when dependencies are built.
