file(REMOVE_RECURSE
  "libvergauge_core.a"
)
