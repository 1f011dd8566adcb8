# Empty dependencies file for vergauge_core.
# This may be replaced when dependencies are built.
