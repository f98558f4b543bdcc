# target_sources(updater_engine PRIVATE ...)
