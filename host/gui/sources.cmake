# Sources of host/gui.
target_sources(host PRIVATE
)
