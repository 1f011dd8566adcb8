file(REMOVE_RECURSE
  "libhalcyon_support.a"
)
