// Replaced by the player operations.
