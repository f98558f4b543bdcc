# target_sources(updater_pak PRIVATE ...)
