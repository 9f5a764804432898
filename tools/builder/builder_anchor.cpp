// Anchor unit of the builder library.
