# target_sources(paktool PRIVATE ...)
