// Anchor unit of the portable library; the areas add their sources to it.
