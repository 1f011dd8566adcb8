file(REMOVE_RECURSE
  "libhalcyon_platform.a"
)
