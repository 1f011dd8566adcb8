# Empty dependencies file for halcyon_engine.
# This may be replaced when dependencies are built.
