file(REMOVE_RECURSE
  "libhalcyon_engine.a"
)
