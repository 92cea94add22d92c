# Sources of host/views.
target_sources(host PRIVATE
)
