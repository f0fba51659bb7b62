// Placeholder source.
