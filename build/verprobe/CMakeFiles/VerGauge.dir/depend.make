# Empty dependencies file for VerGauge.
# This may be replaced when dependencies are built.
