# Sources of host/core.
target_sources(host PRIVATE
)
